#include "devices.h"

#include <cstdio>
#include <set>
#include <vector>

#include "platform/unique.h"

namespace collect {
namespace {

std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return text;
}

bool InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device, std::wstring& id) {
    std::vector<wchar_t> buffer(MAX_DEVICE_ID_LEN + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD needed = 0;
        if (SetupDiGetDeviceInstanceIdW(set, &device, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), &needed)) {
            id = buffer.data();
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            return false;
        }
        buffer.resize(needed);
    }
    return false;
}

// The folded instance IDs SetupAPI lists as present: asked only when the Configuration Manager
// cannot tell about a node.
const std::set<std::wstring>& PresentIds(std::set<std::wstring>& ids, bool& known) {
    if (known) {
        return ids;
    }
    known = true;
    platform::UniqueDevInfo set(
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    if (!set) {
        return ids;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    std::wstring id;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        if (InstanceId(set.get(), device, id)) {
            ids.insert(Folded(id));
        }
    }
    return ids;
}

}  // namespace

std::string JsonString(const std::wstring& text) {
    std::string json = "\"";
    for (const char c : Utf8(text)) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

DeviceCounts WriteDevices(Output& out, const std::wstring& fileName) {
    platform::UniqueDevInfo set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) {
        const DWORD error = GetLastError();
        throw CollectError("the device list cannot be read (" + ErrorText(error) + ")",
                           error == ERROR_ACCESS_DENIED ? kExitNoRights : kExitFailed);
    }
    FileWriter file(out, fileName);
    file.Write("[");
    DeviceCounts counts;
    std::set<std::wstring> presentIds;
    bool presentKnown = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    DWORD index = 0;
    for (; SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        std::wstring id;
        if (!InstanceId(set.get(), device, id)) {
            out.skipped.push_back(
                {L"device " + std::to_wstring(index + 1) + L" of the list",
                 "its instance ID cannot be read (" + ErrorText(GetLastError()) + ")"});
            continue;
        }
        ULONG status = 0;
        ULONG problem = 0;
        const CONFIGRET result = CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0);
        std::string present;
        std::string problemText;
        if (result == CR_SUCCESS) {
            present = "true";
            problemText = std::to_string((status & DN_HAS_PROBLEM) != 0 ? problem : 0);
        } else if (result == CR_NO_SUCH_DEVINST || result == CR_NO_SUCH_DEVNODE) {
            present = "false";  // a device Windows remembers but that is not attached
            problemText = "null";
        } else {
            const bool attached = PresentIds(presentIds, presentKnown).count(Folded(id)) != 0;
            present = attached ? "true" : "false";
            problemText = "null";
            out.skipped.push_back(
                {L"problem of " + id, "the Configuration Manager gave " + std::to_string(result)});
        }
        file.Write(std::string(counts.devices == 0 ? "\r\n" : ",\r\n") +
                   "  {\"InstanceId\": " + JsonString(id) + ", \"Present\": " + present +
                   ", \"Problem\": " + problemText + "}");
        ++counts.devices;
        counts.present += present == "true" ? 1 : 0;
    }
    if (GetLastError() != ERROR_NO_MORE_ITEMS) {
        out.skipped.push_back({L"devices from the " + std::to_wstring(index + 1) + L". on",
                               ErrorText(GetLastError())});
    }
    file.Write(counts.devices == 0 ? "]\r\n" : "\r\n]\r\n");
    file.Close();
    std::fprintf(stderr, "boardkit-collect: devices: %zu (%zu attached)\n", counts.devices,
                 counts.present);
    return counts;
}

}  // namespace collect

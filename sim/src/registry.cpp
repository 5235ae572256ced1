// advapi32's registry functions over the machine's registry tree. They return their status
// and never touch the thread's last error; outputs are written only on success, except where
// Windows documents otherwise (the required size with ERROR_MORE_DATA).
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "choke.h"
#include "handles.h"
#include "machine.h"
#include "registry_tree.h"
#include "simwin/registry.h"

namespace {

constexpr LSTATUS kErrorNoAccess = 998;  // ERROR_NOACCESS: an unreadable data buffer
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

struct KeyHandle : sim::HandleObject {
    std::shared_ptr<sim::RegKey> key;
    REGSAM access = 0;
    const char* kind() const override { return "registry key"; }
};

// A key reached from a caller's HKEY, with the rights the handle carries.
struct KeyRef {
    sim::RegKey* key = nullptr;
    REGSAM access = 0;
};

bool UnderHklm(const sim::RegKey& key) {
    const sim::RegKey* k = &key;
    while (k->parent != nullptr) {
        k = k->parent;
    }
    return k == &sim::Hklm();
}

// A non-elevated process holds only read rights under HKLM.
REGSAM Grantable(const sim::RegKey& key) {
    return UnderHklm(key) && !sim::Settings().elevated ? KEY_READ : KEY_ALL_ACCESS;
}

REGSAM MapGeneric(REGSAM sam) {
    sam &= ~static_cast<REGSAM>(KEY_WOW64_RES);  // one view of the registry: no WOW64 redirection
    if (sam & GENERIC_READ)
        sam |= KEY_READ;
    if (sam & GENERIC_WRITE)
        sam |= KEY_WRITE;
    if (sam & GENERIC_EXECUTE)
        sam |= KEY_EXECUTE;
    if (sam & GENERIC_ALL)
        sam |= KEY_ALL_ACCESS;
    return sam & ~static_cast<REGSAM>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

// The rights a new handle gets for `sam`, or ERROR_ACCESS_DENIED.
LSTATUS Grant(const sim::RegKey& key, REGSAM sam, REGSAM& granted) {
    const REGSAM allowed = Grantable(key);
    sam = MapGeneric(sam);
    if ((sam & ~allowed & kWriteRights) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    granted = (sam & MAXIMUM_ALLOWED) != 0 ? allowed : sam;
    return ERROR_SUCCESS;
}

LSTATUS Resolve(HKEY hKey, KeyRef& ref) {
    if (hKey == HKEY_LOCAL_MACHINE) {
        ref.key = &sim::Hklm();
    } else if (hKey == HKEY_CURRENT_USER) {
        ref.key = &sim::Hkcu();
    } else if (hKey == HKEY_CLASSES_ROOT) {
        ref.key = &sim::CreateKey(sim::Hklm(), "Software\\Classes");
    } else if (hKey == HKEY_USERS || hKey == HKEY_CURRENT_CONFIG || hKey == HKEY_PERFORMANCE_DATA) {
        sim::NotModelled("registry", "predefined keys other than HKLM, HKCU and HKCR");
        return ERROR_CALL_NOT_IMPLEMENTED;
    } else {
        auto* handle = sim::LookupHandleAs<KeyHandle>(reinterpret_cast<HANDLE>(hKey));
        if (handle == nullptr) {
            return ERROR_INVALID_HANDLE;
        }
        if (handle->key->deleted) {
            return ERROR_KEY_DELETED;
        }
        ref.key = handle->key.get();
        ref.access = handle->access;
        return ERROR_SUCCESS;
    }
    ref.access = Grantable(*ref.key);
    return ERROR_SUCCESS;
}

// Resolves and checks that the handle carries `needed`.
LSTATUS ResolveFor(HKEY hKey, REGSAM needed, KeyRef& ref) {
    LSTATUS status = Resolve(hKey, ref);
    if (status == ERROR_SUCCESS && (ref.access & needed) != needed) {
        status = ERROR_ACCESS_DENIED;
    }
    return status;
}

std::string Text(LPCSTR ansi) {
    return ansi == nullptr ? std::string() : sim::Utf8FromAnsi(ansi);
}
std::string Text(LPCWSTR wide) {
    if (wide == nullptr) {
        return std::string();
    }
    std::u16string_view view(wide);
    return sim::Utf8FromUtf16(view);
}

std::string Describe(const sim::RegKey& key) {
    std::string path = sim::KeyPath(key);
    const char* root = UnderHklm(key) ? "HKLM" : "HKCU";
    return path.empty() ? root : std::string(root) + "\\" + path;
}

void Changed(const char* api, const std::string& args, LSTATUS status) {
    sim::Journal(api, args, status);
    if (status == ERROR_SUCCESS) {
        sim::MarkDirty("registry");
    }
}

HKEY NewHandle(sim::RegKey& key, REGSAM access) {
    auto handle = std::make_unique<KeyHandle>();
    handle->key = sim::ShareKey(key);
    handle->access = access;
    return reinterpret_cast<HKEY>(sim::AddHandle(std::move(handle)));
}

LSTATUS OpenKey(HKEY hKey, const std::string& path, DWORD options, REGSAM sam, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (options & ~static_cast<DWORD>(REG_OPTION_OPEN_LINK)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyRef parent;
    LSTATUS status = Resolve(hKey, parent);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!path.empty() && path.front() == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    sim::RegKey* key = sim::FindKey(*parent.key, path);
    if (key == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    REGSAM granted = 0;
    status = Grant(*key, sam, granted);
    if (status == ERROR_SUCCESS) {
        *result = NewHandle(*key, granted);
    }
    return status;
}

LSTATUS CreateOrOpen(const char* api, HKEY hKey, const std::string& path, REGSAM sam, PHKEY result,
                     LPDWORD disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyRef parent;
    LSTATUS status = Resolve(hKey, parent);
    if (status == ERROR_SUCCESS && !path.empty() && path.front() == '\\') {
        status = ERROR_BAD_PATHNAME;
    }
    sim::RegKey* key = status == ERROR_SUCCESS ? sim::FindKey(*parent.key, path) : nullptr;
    const bool created = status == ERROR_SUCCESS && key == nullptr;
    // Creating needs the parent's KEY_CREATE_SUB_KEY and write rights where the key goes.
    if (created && ((parent.access & KEY_CREATE_SUB_KEY) == 0 ||
                    (Grantable(*parent.key) & KEY_CREATE_SUB_KEY) == 0)) {
        status = ERROR_ACCESS_DENIED;
    }
    REGSAM granted = 0;
    if (status == ERROR_SUCCESS) {
        status = Grant(created ? *parent.key : *key, sam, granted);
    }
    if (status == ERROR_SUCCESS) {
        if (created) {
            key = &sim::CreateKey(*parent.key, path);
        }
        *result = NewHandle(*key, granted);
        if (disposition != nullptr) {
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
    }
    sim::Journal(api, status == ERROR_SUCCESS ? Describe(*key) : path, status);
    if (created && status == ERROR_SUCCESS) {
        sim::MarkDirty("registry");
    }
    return status;
}

// A failed open or create hands back a null key, as advapi32 does.
LSTATUS Opened(LSTATUS status, PHKEY result) {
    if (status != ERROR_SUCCESS && result != nullptr) {
        *result = nullptr;
    }
    return status;
}

// The stored bytes as the A functions hand them out: string types in the ANSI code page.
std::vector<uint8_t> AnsiData(const sim::RegValue& value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ) {
        return value.data;
    }
    std::string ansi = sim::AnsiFromUtf16(sim::Utf16FromBytes(value.data));
    std::vector<uint8_t> out(ansi.begin(), ansi.end());
    if (value.data.size() % 2 != 0) {
        out.push_back(value.data.back());
    }
    return out;
}

std::vector<uint8_t> StoredData(DWORD type, const BYTE* data, DWORD size) {
    std::vector<uint8_t> bytes(data, data + size);
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
        return bytes;
    }
    std::u16string wide =
        sim::Utf16FromAnsi(std::string_view(reinterpret_cast<const char*>(data), size));
    // The ANSI door stores a string that lacks its terminator with one added.
    if (!wide.empty() && wide.back() != u'\0') {
        wide += u'\0';
    }
    std::vector<uint8_t> out(wide.size() * 2);
    for (size_t i = 0; i < wide.size(); ++i) {
        out[2 * i] = static_cast<uint8_t>(wide[i] & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(wide[i] >> 8);
    }
    return out;
}

// Copies `data` out under the size protocol of RegQueryValueEx / RegEnumValue.
LSTATUS GiveData(const std::vector<uint8_t>& data, LPBYTE out, LPDWORD size) {
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    const DWORD needed = static_cast<DWORD>(data.size());
    if (out != nullptr && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (out != nullptr && needed != 0) {
        std::memcpy(out, data.data(), needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

template <class Char>
LSTATUS GiveName(const std::basic_string<Char>& name, Char* out, DWORD capacity) {
    if (name.size() + 1 > capacity) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(out, name.data(), name.size() * sizeof(Char));
    out[name.size()] = Char(0);
    return ERROR_SUCCESS;
}

LSTATUS EnumKey(HKEY hKey, DWORD index, KeyRef& ref, sim::RegKey*& child) {
    LSTATUS status = ResolveFor(hKey, KEY_ENUMERATE_SUB_KEYS, ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (index >= ref.key->subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    child = ref.key->subkeys[index].get();
    return ERROR_SUCCESS;
}

// The name of a key as the ANSI or the wide functions give it.
std::string NameAs(const std::string& name, char) {
    return sim::AnsiFromUtf8(name);
}
std::u16string NameAs(const std::string& name, WCHAR) {
    return sim::Utf16FromUtf8(name, sim::Utf8Rule::kKeepSurrogates);
}

// RegOpenKeyExA and RegOpenKeyExW, counted and journaled under `api`.
template <class Char>
LSTATUS OpenKeyEx(const char* api, HKEY hKey, const Char* lpSubKey, DWORD ulOptions,
                  REGSAM samDesired, PHKEY phkResult) {
    const std::string path = Text(lpSubKey);
    sim::ApiCall call(api, path);
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    return Opened(OpenKey(hKey, path, ulOptions, samDesired, phkResult), phkResult);
}

// RegEnumKeyA and RegEnumKeyW, counted under `api`.
template <class Char>
LSTATUS EnumKeyName(const char* api, HKEY hKey, DWORD dwIndex, Char* lpName, DWORD cchName) {
    sim::ApiCall call(api);
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    KeyRef ref;
    sim::RegKey* child = nullptr;
    LSTATUS status = EnumKey(hKey, dwIndex, ref, child);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return GiveName(NameAs(child->name, Char()), lpName, cchName);
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
    return OpenKeyEx("RegOpenKeyExA", hKey, lpSubKey, ulOptions, samDesired, phkResult);
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
    return OpenKeyEx("RegOpenKeyExW", hKey, lpSubKey, ulOptions, samDesired, phkResult);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition) {
    (void)Reserved;
    (void)lpClass;  // key classes are kept by no one any more; accepted and dropped
    const std::string path = Text(lpSubKey);
    sim::ApiCall call("RegCreateKeyExA", path);
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    if (dwOptions != REG_OPTION_NON_VOLATILE || lpSecurityAttributes != nullptr) {
        sim::NotModelled("RegCreateKeyExA", "volatile keys, links and security descriptors");
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    if (lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return Opened(
        CreateOrOpen("RegCreateKeyExA", hKey, path, samDesired, phkResult, lpdwDisposition),
        phkResult);
}

LSTATUS WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    const std::string path = Text(lpSubKey);
    sim::ApiCall call("RegCreateKeyA", path);
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    // RegCreateKey asks for the most the caller may have, so it opens an existing key even
    // where it could not create one.
    return Opened(CreateOrOpen("RegCreateKeyA", hKey, path, MAXIMUM_ALLOWED, phkResult, nullptr),
                  phkResult);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    sim::ApiCall call("RegCloseKey");
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER || hKey == HKEY_CLASSES_ROOT) {
        return ERROR_SUCCESS;  // predefined keys are never really closed
    }
    HANDLE handle = reinterpret_cast<HANDLE>(hKey);
    if (sim::LookupHandleAs<KeyHandle>(handle) == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    sim::RemoveHandle(handle);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    return EnumKeyName("RegEnumKeyA", hKey, dwIndex, lpName, cchName);
}

LSTATUS WINAPI RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
    return EnumKeyName("RegEnumKeyW", hKey, dwIndex, lpName, cchName);
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
    sim::ApiCall call("RegEnumKeyExA");
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
        (lpClass != nullptr && lpcchClass == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyRef ref;
    sim::RegKey* child = nullptr;
    LSTATUS status = EnumKey(hKey, dwIndex, ref, child);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const std::string name = sim::AnsiFromUtf8(child->name);
    status = GiveName(name, lpName, *lpcchName);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass != nullptr) {
        if (*lpcchClass > 0) {
            *lpClass = '\0';
        }
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime != nullptr) {
        std::memset(static_cast<void*>(lpftLastWriteTime), 0, 2 * sizeof(DWORD));
    }
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    sim::ApiCall call("RegEnumValueA");
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
        (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyRef ref;
    LSTATUS status = ResolveFor(hKey, KEY_QUERY_VALUE, ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (dwIndex >= ref.key->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const sim::RegValue& value = ref.key->values[dwIndex];
    const std::string name = sim::AnsiFromUtf8(value.name);
    const std::vector<uint8_t> data = AnsiData(value);
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    if (name.size() + 1 > *lpcchValueName) {
        // The data still goes out, and as much of the name as fits (measured under Wine).
        if (*lpcchValueName > 0) {
            std::memcpy(lpValueName, name.data(), *lpcchValueName - 1);
            lpValueName[*lpcchValueName - 1] = '\0';
        }
        GiveData(data, lpData, lpcbData);
        return ERROR_MORE_DATA;
    }
    status = GiveData(data, lpData, lpcbData);
    if (status == ERROR_SUCCESS) {
        GiveName(name, lpValueName, *lpcchValueName);
        *lpcchValueName = static_cast<DWORD>(name.size());
    }
    return status;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    const std::string name = Text(lpValueName);
    sim::ApiCall call("RegQueryValueExA", name);
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyRef ref;
    LSTATUS status = ResolveFor(hKey, KEY_QUERY_VALUE, ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const sim::RegValue* value = sim::FindValue(*ref.key, name);
    if (value == nullptr) {
        if (lpType != nullptr) {
            *lpType = REG_NONE;  // advapi32 clears the type of a value it did not find
        }
        return ERROR_FILE_NOT_FOUND;
    }
    if (lpType != nullptr) {
        *lpType = value->type;
    }
    return GiveData(AnsiData(*value), lpData, lpcbData);
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    (void)Reserved;
    const std::string name = Text(lpValueName);
    sim::ApiCall call("RegSetValueExA", name);
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    KeyRef ref;
    LSTATUS status = ResolveFor(hKey, KEY_SET_VALUE, ref);
    if (status == ERROR_SUCCESS && lpData == nullptr && cbData != 0) {
        status = kErrorNoAccess;
    }
    if (status == ERROR_SUCCESS) {
        sim::SetValue(*ref.key, name, dwType, StoredData(dwType, lpData, cbData));
    }
    const std::string where = ref.key != nullptr ? Describe(*ref.key) : std::string("?");
    Changed("RegSetValueExA", where + ", \"" + name + "\", type " + std::to_string(dwType), status);
    return status;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    const std::string path = Text(lpSubKey);
    sim::ApiCall call("RegDeleteKeyA", path);
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    KeyRef ref;
    LSTATUS status = lpSubKey == nullptr ? ERROR_INVALID_PARAMETER : Resolve(hKey, ref);
    sim::RegKey* key = status == ERROR_SUCCESS ? sim::FindKey(*ref.key, path) : nullptr;
    if (status == ERROR_SUCCESS && key == nullptr) {
        status = ERROR_FILE_NOT_FOUND;
    }
    std::string where = key != nullptr ? Describe(*key) : path;
    // Windows deletes only leaf keys, and needs DELETE on the key itself.
    if (status == ERROR_SUCCESS &&
        (key->parent == nullptr || !key->subkeys.empty() || Grantable(*key) == KEY_READ)) {
        status = ERROR_ACCESS_DENIED;
    }
    if (status == ERROR_SUCCESS) {
        sim::RemoveSubkey(*key->parent, key->name);
    }
    Changed("RegDeleteKeyA", where, status);
    return status;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    const std::string name = Text(lpValueName);
    sim::ApiCall call("RegDeleteValueA", name);
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    KeyRef ref;
    LSTATUS status = ResolveFor(hKey, KEY_SET_VALUE, ref);
    if (status == ERROR_SUCCESS && !sim::RemoveValue(*ref.key, name)) {
        status = ERROR_FILE_NOT_FOUND;
    }
    const std::string where = ref.key != nullptr ? Describe(*ref.key) : std::string("?");
    Changed("RegDeleteValueA", where + ", \"" + name + "\"", status);
    return status;
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    sim::ApiCall call("RegQueryInfoKeyA");
    if (DWORD e = call.fault()) {
        return static_cast<LSTATUS>(e);
    }
    if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyRef ref;
    LSTATUS status = ResolveFor(hKey, KEY_QUERY_VALUE, ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    DWORD maxSubkey = 0, maxName = 0, maxData = 0;
    for (const auto& child : ref.key->subkeys) {
        maxSubkey = std::max(maxSubkey, static_cast<DWORD>(sim::AnsiFromUtf8(child->name).size()));
    }
    for (const sim::RegValue& value : ref.key->values) {
        maxName = std::max(maxName, static_cast<DWORD>(sim::AnsiFromUtf8(value.name).size()));
        maxData = std::max(maxData, static_cast<DWORD>(value.data.size()));
    }
    const auto put = [](LPDWORD out, DWORD number) {
        if (out != nullptr)
            *out = number;
    };
    if (lpClass != nullptr && *lpcchClass > 0) {
        *lpClass = '\0';
    }
    put(lpcchClass, 0);
    put(lpcSubKeys, static_cast<DWORD>(ref.key->subkeys.size()));
    put(lpcbMaxSubKeyLen, maxSubkey);
    put(lpcbMaxClassLen, 0);
    put(lpcValues, static_cast<DWORD>(ref.key->values.size()));
    put(lpcbMaxValueNameLen, maxName);
    put(lpcbMaxValueLen, maxData);
    put(lpcbSecurityDescriptor, 0);
    if (lpftLastWriteTime != nullptr) {
        std::memset(static_cast<void*>(lpftLastWriteTime), 0, 2 * sizeof(DWORD));
    }
    return ERROR_SUCCESS;
}

}  // extern "C"

// Device registry properties: SetupDiGet/SetDeviceRegistryPropertyA over the Enum keys.
#include <cstdio>
#include <cstring>

#include "choke.h"
#include "devices_internal.h"
#include "machine.h"
#include "setupapi_internal.h"

namespace sim {
namespace {

// Where each property lives in the Enum key, and the type it is written with.
struct PropertyPlace {
    DWORD property;
    const char* valueName;
    DWORD type;
};

const PropertyPlace kPlaces[] = {
    {SPDRP_DEVICEDESC, "DeviceDesc", REG_SZ},
    {SPDRP_HARDWAREID, "HardwareID", REG_MULTI_SZ},
    {SPDRP_COMPATIBLEIDS, "CompatibleIDs", REG_MULTI_SZ},
    {SPDRP_SERVICE, "Service", REG_SZ},
    {SPDRP_CLASS, "Class", REG_SZ},
    {SPDRP_CLASSGUID, "ClassGUID", REG_SZ},
    {SPDRP_DRIVER, "Driver", REG_SZ},
    {SPDRP_CONFIGFLAGS, "ConfigFlags", REG_DWORD},
    {SPDRP_MFG, "Mfg", REG_SZ},
    {SPDRP_FRIENDLYNAME, "FriendlyName", REG_SZ},
    {SPDRP_LOCATION_INFORMATION, "LocationInformation", REG_SZ},
    {SPDRP_CAPABILITIES, "Capabilities", REG_DWORD},
    {SPDRP_UI_NUMBER, "UINumber", REG_DWORD},
    {SPDRP_UPPERFILTERS, "UpperFilters", REG_MULTI_SZ},
    {SPDRP_LOWERFILTERS, "LowerFilters", REG_MULTI_SZ},
};

// Properties a caller may write; the others belong to the Plug and Play manager.
bool Writable(DWORD property) {
    return property != SPDRP_CAPABILITIES && property != SPDRP_UI_NUMBER;
}

const PropertyPlace* PlaceOf(DWORD property) {
    for (const PropertyPlace& place : kPlaces) {
        if (place.property == property) {
            return &place;
        }
    }
    return nullptr;
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The registry keeps text as UTF-16; the ANSI functions hand out code page 1252 bytes of the
// same length in characters, terminators included.
std::vector<uint8_t> AnsiBytes(const RegValue& value) {
    if (!IsText(value.type)) {
        return value.data;
    }
    std::string ansi = AnsiFromUtf16(Utf16FromBytes(value.data));
    return std::vector<uint8_t>(ansi.begin(), ansi.end());
}

std::vector<uint8_t> WideBytes(const BYTE* data, DWORD size) {
    std::u16string wide =
        Utf16FromAnsi(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<uint8_t> bytes(wide.size() * 2);
    for (size_t i = 0; i < wide.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(wide[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(wide[i] >> 8);
    }
    return bytes;
}

void TextProperty(const std::string& text, PropertyData& out) {
    out.type = REG_SZ;
    out.bytes.assign(text.begin(), text.end());
    out.bytes.push_back(0);
}

}  // namespace

PropertyLookup ReadProperty(const DeviceNode& node, DWORD property, PropertyData& out) {
    if (property == SPDRP_ENUMERATOR_NAME) {
        TextProperty(node.instanceId.substr(0, node.instanceId.find('\\')), out);
        return PropertyLookup::Found;
    }
    if (property == SPDRP_PHYSICAL_DEVICE_OBJECT_NAME) {
        if (!InRunningTree(node)) {
            return PropertyLookup::Missing;
        }
        char name[32];
        std::snprintf(name, sizeof name, "\\Device\\%08lx",
                      static_cast<unsigned long>(node.devInst));
        TextProperty(name, out);
        return PropertyLookup::Found;
    }
    const PropertyPlace* place = PlaceOf(property);
    if (place == nullptr) {
        return PropertyLookup::NotModelled;
    }
    RegKey* key = DeviceKey(node);
    const RegValue* value = key == nullptr ? nullptr : FindValue(*key, place->valueName);
    if (value == nullptr) {
        return PropertyLookup::Missing;
    }
    out.type = value->type;
    out.bytes = AnsiBytes(*value);
    return PropertyLookup::Found;
}

}  // namespace sim

extern "C" {

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
    sim::ApiCall call("SetupDiGetDeviceRegistryPropertyA",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::DeviceNode* node = sim::GetDevice(DeviceInfoSet, DeviceInfoData).node;
    if (node == nullptr) {
        return FALSE;
    }
    if (PropertyBuffer == nullptr && PropertyBufferSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Property >= SPDRP_MAXIMUM_PROPERTY) {
        SetLastError(ERROR_INVALID_REG_PROPERTY);
        return FALSE;
    }
    sim::PropertyData data;
    switch (sim::ReadProperty(*node, Property, data)) {
        case sim::PropertyLookup::Missing:
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        case sim::PropertyLookup::NotModelled:
            sim::NotModelled("SetupDiGetDeviceRegistryPropertyA",
                             "property " + std::to_string(Property));
            SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
            return FALSE;
        case sim::PropertyLookup::Found:
            break;
    }
    const DWORD needed = static_cast<DWORD>(data.bytes.size());
    if (RequiredSize != nullptr) {
        *RequiredSize = needed;
    }
    if (PropertyRegDataType != nullptr) {
        *PropertyRegDataType = data.type;
    }
    if (PropertyBufferSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (needed != 0) {
        std::memcpy(PropertyBuffer, data.bytes.data(), needed);
    }
    return TRUE;
}

BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              const BYTE* PropertyBuffer,
                                              DWORD PropertyBufferSize) {
    const std::string id = sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData);
    sim::ApiCall call("SetupDiSetDeviceRegistryPropertyA", id);
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::DeviceNode* node = sim::GetDevice(DeviceInfoSet, DeviceInfoData).node;
    if (node == nullptr) {
        return FALSE;
    }
    const sim::PropertyPlace* place = sim::PlaceOf(Property);
    if (place == nullptr || !sim::Writable(Property)) {
        SetLastError(ERROR_INVALID_REG_PROPERTY);
        return FALSE;
    }
    if (PropertyBuffer == nullptr && PropertyBufferSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (place->type == REG_DWORD && PropertyBuffer != nullptr && PropertyBufferSize != 4) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    if (!sim::Settings().elevated) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    sim::RegKey* key = sim::DeviceKey(*node);
    if (key == nullptr) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    const std::string args = id + ", " + place->valueName;
    if (PropertyBuffer == nullptr) {
        // A null buffer of size 0 deletes the property.
        sim::RemoveValue(*key, place->valueName);
    } else if (place->type == REG_DWORD) {
        sim::SetValue(*key, place->valueName, REG_DWORD,
                      std::vector<uint8_t>(PropertyBuffer, PropertyBuffer + 4));
    } else {
        sim::SetValue(*key, place->valueName, place->type,
                      sim::WideBytes(PropertyBuffer, PropertyBufferSize));
    }
    sim::ChangedRegistry();
    sim::Journal("SetupDiSetDeviceRegistryPropertyA", args, TRUE);
    return TRUE;
}

}  // extern "C"

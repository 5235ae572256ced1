// The simulated device tree against the documented SetupAPI and Configuration Manager
// contracts: sentinel last error and out-parameters, exact codes, orders.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <unistd.h>
#include <cstring>
#include <string>
#include <vector>

#include "devices.h"
#include "machine.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
// Class GUIDs as Windows documents them (System devices) and the maker's board class.
const char* const kSystemClass = "{4d36e97d-e325-11ce-bfc1-08002be10318}";
const GUID kBoardClass = {
    0x3D5A1C7E, 0x94B2, 0x4F08, {0xA6, 0xC3, 0x1E, 0x7D, 0x2B, 0x9F, 0x50, 0x48}};
const char* const kBoardClassText = "{3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}";

const char* const kPciBoard = "PCI\\VEN_5AE3&DEV_0001&SUBSYS_00015AE3&REV_01\\3&11583659&0&10";
const char* const kUsbBoard = "USB\\VID_2E5B&PID_0007\\5&2B3F1A&0&2";

class DeviceTree : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }

    sim::DeviceNode* Add(const std::string& id, sim::Presence presence = sim::Presence::Present,
                         const std::string& parent = "", const std::string& cls = kBoardClassText,
                         ULONG problem = 0) {
        sim::DeviceSpec spec;
        spec.instanceId = id;
        spec.parentId = parent;
        spec.presence = presence;
        spec.classGuid = cls;
        spec.problem = problem;
        spec.hardwareIds = {HardwareIdOf(id), HardwareIdOf(id).substr(0, 12)};
        spec.driver = cls + "\\0000";
        sim::DeviceNode* node = sim::AddDevice(spec);
        EXPECT_NE(node, nullptr) << id;
        return node;
    }
    static std::string HardwareIdOf(const std::string& id) { return id.substr(0, id.rfind('\\')); }

    // The instance IDs a set lists, in its order, read through the Win32 calls.
    static std::vector<std::string> Listed(const GUID* cls, DWORD flags) {
        HDEVINFO set = SetupDiGetClassDevsA(cls, nullptr, nullptr, flags);
        EXPECT_NE(set, INVALID_HANDLE_VALUE);
        std::vector<std::string> ids;
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
            char id[MAX_DEVICE_ID_LEN];
            EXPECT_TRUE(SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr));
            ids.push_back(id);
        }
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        SetupDiDestroyDeviceInfoList(set);
        return ids;
    }
};

using Ids = std::vector<std::string>;

// ---- device information sets ----

TEST_F(DeviceTree, AllClassesPresentListsNodesInCreationOrderAndEndsWithNoMoreItems) {
    Add("ROOT\\SYSTEM\\0000", sim::Presence::Present, "", kSystemClass);
    Add(kUsbBoard);
    Add(kPciBoard);
    EXPECT_EQ(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES),
              (Ids{"ROOT\\SYSTEM\\0000", kUsbBoard, kPciBoard}));
}

TEST_F(DeviceTree, PhantomsAreListedOnlyWithoutPresentFlag) {
    Add(kPciBoard);
    Add(kUsbBoard, sim::Presence::Phantom);
    EXPECT_EQ(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES), (Ids{kPciBoard}));
    EXPECT_EQ(Listed(nullptr, DIGCF_ALLCLASSES), (Ids{kPciBoard, kUsbBoard}));
}

TEST_F(DeviceTree, ArrivingBoardIsInNoSetBeforeItArrives) {
    Add(kPciBoard, sim::Presence::Arriving);
    EXPECT_TRUE(Listed(nullptr, DIGCF_ALLCLASSES).empty());
}

TEST_F(DeviceTree, ClassFilterKeepsThatClassAndAllClassesOverridesIt) {
    Add("ROOT\\SYSTEM\\0000", sim::Presence::Present, "", kSystemClass);
    Add(kPciBoard);
    EXPECT_EQ(Listed(&kBoardClass, DIGCF_PRESENT), (Ids{kPciBoard}));
    EXPECT_EQ(Listed(&kBoardClass, DIGCF_PRESENT | DIGCF_ALLCLASSES).size(), 2u);
}

TEST_F(DeviceTree, TheClassIsTheClassGuidValueAsAStringReaderSeesIt) {
    // The value is read as RegQueryValueEx returns a string: up to its first terminator. Any
    // case of the hex digits names the class; a longer, shorter or non-string value names none.
    sim::DeviceNode* node = Add(kPciBoard);
    sim::RegKey* key = sim::DeviceKey(*node);
    ASSERT_NE(key, nullptr);
    auto setRaw = [&](DWORD type, std::u16string text) {
        std::vector<uint8_t> data;
        for (char16_t c : text) {
            data.push_back(static_cast<uint8_t>(c & 0xFF));
            data.push_back(static_cast<uint8_t>(c >> 8));
        }
        sim::SetValue(*key, "ClassGUID", type, std::move(data));
    };
    const std::u16string upper = u"{3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}";
    const struct {
        DWORD type;
        std::u16string text;
        bool listed;
    } cases[] = {
        {REG_SZ, upper, true},          // no terminator stored
        {REG_SZ, upper + u'\0', true},  // the usual terminator
        {REG_EXPAND_SZ, upper + u'\0', true},
        {REG_SZ, upper + u'\0' + u"trailing", true},  // what follows the end is not read
        {REG_SZ, upper + u" ", false},                // one character too many
        {REG_SZ, upper.substr(0, 37), false},         // one too few
        {REG_SZ, upper.substr(0, 10) + u"\u00C9" + upper.substr(11), false},
        {REG_MULTI_SZ, upper + u'\0' + u'\0', false},
        {REG_BINARY, upper, false},
    };
    for (const auto& c : cases) {
        setRaw(c.type, c.text);
        EXPECT_EQ(Listed(&kBoardClass, DIGCF_PRESENT).size(), c.listed ? 1u : 0u)
            << "type " << c.type << ", " << c.text.size() << " units";
    }
}

TEST_F(DeviceTree, EachSetReadsTheClassAsTheEnumKeyHoldsItThen) {
    // Sets remember what they read of a node's class; every later change must still be seen.
    const GUID other = {
        0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    Add(kPciBoard);
    ASSERT_EQ(Listed(&kBoardClass, DIGCF_PRESENT), (Ids{kPciBoard}));
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kPciBoard;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key), 0);
    const char otherText[] = "{11111111-2222-3333-4444-555555555555}";
    ASSERT_EQ(RegSetValueExA(key, "ClassGUID", 0, REG_SZ, reinterpret_cast<const BYTE*>(otherText),
                             sizeof otherText),
              0);
    EXPECT_TRUE(Listed(&kBoardClass, DIGCF_PRESENT).empty());
    EXPECT_EQ(Listed(&other, DIGCF_PRESENT), (Ids{kPciBoard}));
    ASSERT_EQ(RegDeleteValueA(key, "ClassGUID"), 0);
    EXPECT_TRUE(Listed(&other, DIGCF_PRESENT).empty());
    RegCloseKey(key);
    // A new key in the old one's place, with the first class again.
    ASSERT_TRUE(sim::DeleteKeyTree(sim::Hklm(), path));
    sim::SetStringValue(sim::CreateKey(sim::Hklm(), path), "ClassGUID", kBoardClassText);
    EXPECT_EQ(Listed(&kBoardClass, DIGCF_PRESENT), (Ids{kPciBoard}));
    EXPECT_TRUE(Listed(&other, DIGCF_PRESENT).empty());
}

TEST_F(DeviceTree, EnumeratedDataCarriesClassGuidAndCbSizeMustBeExact) {
    Add(kPciBoard);
    HDEVINFO set = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_TRUE(data.ClassGuid == kBoardClass);

    SP_DEVINFO_DATA wrong;
    std::memset(&wrong, 0xAB, sizeof wrong);
    wrong.cbSize = 28;  // the 32-bit layout's size
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &wrong));
    EXPECT_EQ(GetLastError(), 1784u);
    EXPECT_EQ(wrong.DevInst, 0xABABABABu);
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(DeviceTree, SetCallsRejectBadHandlesAndAMissingClass) {
    SetLastError(kSentinel);
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(INVALID_HANDLE_VALUE, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(DeviceTree, EnumeratorArgumentSelectsOneBus) {
    Add(kPciBoard);
    Add(kUsbBoard);
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "usb", nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(data.DevInst, sim::FindDevice(kUsbBoard)->devInst);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 1, &data));
    SetupDiDestroyDeviceInfoList(set);
}

// ---- the property buffer protocol ----

class Properties : public DeviceTree {
  protected:
    void SetUp() override {
        DeviceTree::SetUp();
        Add(kPciBoard);
        set_ = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
        data_.cbSize = sizeof data_;
        ASSERT_TRUE(SetupDiEnumDeviceInfo(set_, 0, &data_));
    }
    void TearDown() override {
        SetupDiDestroyDeviceInfoList(set_);
        DeviceTree::TearDown();
    }
    HDEVINFO set_ = nullptr;
    SP_DEVINFO_DATA data_{};
};

TEST_F(Properties, NullBufferReportsRequiredSizeOfTheDoubleNulList) {
    const std::string first = HardwareIdOf(kPciBoard), second = first.substr(0, 12);
    const DWORD expected = static_cast<DWORD>(first.size() + 1 + second.size() + 1 + 1);
    DWORD required = kSentinel, type = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_HARDWAREID, &type, nullptr,
                                                   0, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, expected);

    std::vector<BYTE> buffer(required, 0xCC);
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_HARDWAREID, &type,
                                                  buffer.data(), required, nullptr));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    const std::string text(buffer.begin(), buffer.end());
    EXPECT_EQ(text, first + '\0' + second + '\0' + '\0');
}

TEST_F(Properties, TooSmallBufferFailsAndIsLeftUnwritten) {
    BYTE buffer[8];
    std::memset(buffer, 0xCC, sizeof buffer);
    DWORD required = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_HARDWAREID, nullptr, buffer,
                                                   sizeof buffer, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_GT(required, sizeof buffer);
    EXPECT_EQ(buffer[0], 0xCC);
}

TEST_F(Properties, MissingPropertyIsInvalidDataAndTouchesNoOutParameter) {
    DWORD required = kSentinel, type = kSentinel;
    BYTE buffer[64];
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_COMPATIBLEIDS, &type, buffer,
                                                   sizeof buffer, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(required, kSentinel);
    EXPECT_EQ(type, kSentinel);
}

TEST_F(Properties, PropertyBeyondTheLastIsInvalidRegProperty) {
    DWORD required = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_MAXIMUM_PROPERTY, nullptr,
                                                   nullptr, 0, &required));
    EXPECT_EQ(GetLastError(), 0xE0000209u);
    EXPECT_EQ(required, kSentinel);
}

TEST_F(Properties, ValueNamesAreMatchedWithoutCase) {
    // Wine writes "HardwareId"; Windows "HardwareID". Both must read the same.
    sim::RegKey* key = sim::DeviceKey(*sim::FindDevice(kPciBoard));
    sim::RemoveValue(*key, "HardwareID");
    sim::SetMultiStringValue(*key, "HardwareId", {"ROOT\\WINE"});
    char buffer[32] = {};
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_HARDWAREID, nullptr,
                                                  reinterpret_cast<BYTE*>(buffer), sizeof buffer,
                                                  nullptr));
    EXPECT_STREQ(buffer, "ROOT\\WINE");
}

TEST_F(Properties, SetWritesTheEnumKeyAndANullBufferDeletesTheValue) {
    const char location[] = "PCI bus 3, device 14, function 0";
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set_, &data_, SPDRP_LOCATION_INFORMATION,
                                                  reinterpret_cast<const BYTE*>(location),
                                                  sizeof location));
    sim::RegKey* key = sim::DeviceKey(*sim::FindDevice(kPciBoard));
    EXPECT_EQ(sim::GetStringValue(*key, "LocationInformation").value_or(""), location);

    ASSERT_TRUE(
        SetupDiSetDeviceRegistryPropertyA(set_, &data_, SPDRP_LOCATION_INFORMATION, nullptr, 0));
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_LOCATION_INFORMATION,
                                                   nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(Properties, ForeignElementIsInvalidParameter) {
    SP_DEVINFO_DATA forged = data_;
    forged.Reserved = 99;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &forged, SPDRP_HARDWAREID, nullptr,
                                                   nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// ---- the Configuration Manager tree ----

// The walk the product does: pre-order over child and sibling links from the root's child.
void Walk(DEVINST node, std::vector<std::string>& out) {
    for (;;) {
        DEVINST sibling = 0;
        const bool hasSibling = CM_Get_Sibling(&sibling, node, 0) == CR_SUCCESS;
        char id[MAX_DEVICE_ID_LEN] = {};
        CM_Get_Device_IDA(node, id, sizeof id, 0);
        out.push_back(id);
        DEVINST child = 0;
        if (CM_Get_Child(&child, node, 0) == CR_SUCCESS) {
            Walk(child, out);
        }
        if (!hasSibling) {
            return;
        }
        node = sibling;
    }
}

TEST_F(DeviceTree, TreeWalkIsPreOrderInCreationOrderAndSkipsPhantoms) {
    Add("ACPI\\PNP0A08\\0");
    Add("PCI\\VEN_8086&DEV_1237\\3&1&0&00", sim::Presence::Present, "ACPI\\PNP0A08\\0");
    Add(kPciBoard, sim::Presence::Phantom, "ACPI\\PNP0A08\\0");
    Add("PCI\\VEN_8086&DEV_7000\\3&1&0&08", sim::Presence::Present, "ACPI\\PNP0A08\\0");
    Add(kUsbBoard, sim::Presence::Present, "PCI\\VEN_8086&DEV_7000\\3&1&0&08");
    Add("ROOT\\SYSTEM\\0000");
    DEVINST root = 0, first = 0;
    ASSERT_EQ(CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL), CR_SUCCESS);
    ASSERT_EQ(CM_Get_Child(&first, root, 0), CR_SUCCESS);
    std::vector<std::string> visited;
    Walk(first, visited);
    EXPECT_EQ(visited, (Ids{"ACPI\\PNP0A08\\0", "PCI\\VEN_8086&DEV_1237\\3&1&0&00",
                            "PCI\\VEN_8086&DEV_7000\\3&1&0&08", kUsbBoard, "ROOT\\SYSTEM\\0000"}));
}

TEST_F(DeviceTree, ADeviceBelowAnUnpluggedHubIsAbsentToSetsAsToTheTree) {
    const char* const hub = "USB\\ROOT_HUB30\\4&2A1B&0&0";
    Add(hub);
    Add(kUsbBoard, sim::Presence::Present, hub);
    sim::SetPresence(*sim::FindDevice(hub), sim::Presence::Phantom);
    EXPECT_EQ(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES), Ids{});
    EXPECT_EQ(Listed(nullptr, DIGCF_ALLCLASSES), (Ids{hub, kUsbBoard}));
    // Back with its hub: the board was never unplugged from it.
    sim::SetPresence(*sim::FindDevice(hub), sim::Presence::Present);
    EXPECT_EQ(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES), (Ids{hub, kUsbBoard}));
}

TEST_F(DeviceTree, ADisabledBoardArrivesDisabled) {
    sim::DeviceNode* node = Add(kPciBoard, sim::Presence::Phantom);
    sim::SetDwordValue(*sim::DeviceKey(*node), "ConfigFlags", 0x1);  // CONFIGFLAG_DISABLED
    sim::SetPresence(*node, sim::Presence::Present);
    EXPECT_EQ(node->problem, static_cast<ULONG>(CM_PROB_DISABLED));
}

TEST_F(DeviceTree, LocateFindsPresentNodesByIdInAnyCaseAndPhantomsOnlyOnRequest) {
    Add(kPciBoard);
    Add(kUsbBoard, sim::Presence::Phantom);
    DEVINST dn = kSentinel;
    std::string lower = kPciBoard;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(CM_Locate_DevNodeA(&dn, &lower[0], 0), CR_SUCCESS);
    EXPECT_EQ(dn, sim::FindDevice(kPciBoard)->devInst);

    std::string usb = kUsbBoard;
    dn = kSentinel;
    EXPECT_EQ(CM_Locate_DevNodeA(&dn, &usb[0], CM_LOCATE_DEVNODE_NORMAL), CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(dn, kSentinel);
    EXPECT_EQ(CM_Locate_DevNodeA(&dn, &usb[0], CM_LOCATE_DEVNODE_PHANTOM), CR_SUCCESS);

    std::string unknown = "PCI\\VEN_0000&DEV_0000\\0";
    EXPECT_EQ(CM_Locate_DevNodeA(&dn, &unknown[0], CM_LOCATE_DEVNODE_PHANTOM), CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(CM_Locate_DevNodeA(&dn, nullptr, 0x8), CR_INVALID_FLAG);
}

TEST_F(DeviceTree, StatusTellsWorkingProblemAndAbsentNodesApart) {
    Add(kPciBoard);
    Add("PCI\\VEN_5AE3&DEV_0002\\3&11583659&0&18", sim::Presence::Present, "", kBoardClassText,
        CM_PROB_FAILED_INSTALL);
    Add(kUsbBoard, sim::Presence::Phantom);
    ULONG status = kSentinel, problem = kSentinel;
    ASSERT_EQ(CM_Get_DevNode_Status(&status, &problem, sim::FindDevice(kPciBoard)->devInst, 0),
              CR_SUCCESS);
    EXPECT_EQ(problem, 0u);
    EXPECT_EQ(status & (DN_STARTED | DN_HAS_PROBLEM), static_cast<ULONG>(DN_STARTED));

    DEVINST failed = sim::FindDevice("PCI\\VEN_5AE3&DEV_0002\\3&11583659&0&18")->devInst;
    ASSERT_EQ(CM_Get_DevNode_Status(&status, &problem, failed, 0), CR_SUCCESS);
    EXPECT_EQ(problem, 28u);
    EXPECT_NE(status & DN_HAS_PROBLEM, 0u);
    EXPECT_EQ(status & DN_STARTED, 0u);

    status = problem = kSentinel;
    EXPECT_EQ(CM_Get_DevNode_Status(&status, &problem, sim::FindDevice(kUsbBoard)->devInst, 0),
              CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(status, kSentinel);
    EXPECT_EQ(problem, kSentinel);
    EXPECT_EQ(CM_Get_DevNode_Status(&status, &problem, 0x7fffffff, 0), CR_INVALID_DEVNODE);
}

TEST_F(DeviceTree, CmPropertyReportsLengthWhenSmallAndNoSuchValueWhenMissing) {
    Add(kPciBoard);
    const DEVINST dn = sim::FindDevice(kPciBoard)->devInst;
    ULONG length = 0, type = kSentinel;
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(dn, CM_DRP_HARDWAREID, &type, nullptr, &length, 0),
              CR_BUFFER_SMALL);
    const std::string first = HardwareIdOf(kPciBoard);
    EXPECT_EQ(length, first.size() + 1 + 12 + 1 + 1);
    std::vector<char> buffer(length);
    EXPECT_EQ(
        CM_Get_DevNode_Registry_PropertyA(dn, CM_DRP_HARDWAREID, &type, buffer.data(), &length, 0),
        CR_SUCCESS);
    EXPECT_EQ(type, static_cast<ULONG>(REG_MULTI_SZ));
    EXPECT_STREQ(buffer.data(), first.c_str());

    length = sizeof(ULONG);
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(dn, CM_DRP_LOCATION_INFORMATION, nullptr,
                                                buffer.data(), &length, 0),
              CR_NO_SUCH_VALUE);
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyA(dn, CM_DRP_HARDWAREID, nullptr, buffer.data(),
                                                nullptr, 0),
              CR_INVALID_POINTER);
}

// ---- re-enumeration ----

TEST_F(DeviceTree, ReenumerationMakesArrivingBoardPresentWithCode28WhenNoDriverIsFound) {
    sim::DeviceSpec spec;
    spec.instanceId = kPciBoard;
    spec.presence = sim::Presence::Arriving;
    spec.hardwareIds = {HardwareIdOf(kPciBoard)};
    ASSERT_NE(sim::AddDevice(spec), nullptr);
    EXPECT_EQ(sim::DeviceKey(*sim::FindDevice(kPciBoard)), nullptr);  // not yet remembered

    DEVINST root = 0;
    ASSERT_EQ(CM_Locate_DevNodeA(&root, nullptr, 0), CR_SUCCESS);
    ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL), CR_SUCCESS);
    EXPECT_EQ(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES), (Ids{kPciBoard}));
    ULONG status = 0, problem = 0;
    ASSERT_EQ(CM_Get_DevNode_Status(&status, &problem, sim::FindDevice(kPciBoard)->devInst, 0),
              CR_SUCCESS);
    EXPECT_EQ(problem, static_cast<ULONG>(CM_PROB_FAILED_INSTALL));
    ASSERT_NE(sim::DeviceKey(*sim::FindDevice(kPciBoard)), nullptr);
}

TEST_F(DeviceTree, RetryInstallationRetriesFailedInstallsOnlyWhenAskedTo) {
    Add(kPciBoard, sim::Presence::Present, "", kBoardClassText, CM_PROB_FAILED_INSTALL);
    unsigned attempts = 0;
    sim::SetInstallHandler([&attempts](sim::DeviceNode&) { return ++attempts > 0; });
    DEVINST root = 0;
    CM_Locate_DevNodeA(&root, nullptr, 0);
    ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL), CR_SUCCESS);
    EXPECT_EQ(attempts, 0u);
    EXPECT_EQ(sim::FindDevice(kPciBoard)->problem, 28u);

    ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_RETRY_INSTALLATION), CR_SUCCESS);
    EXPECT_EQ(attempts, 1u);
    EXPECT_EQ(sim::FindDevice(kPciBoard)->problem, 0u);
    sim::SetInstallHandler(nullptr);
    EXPECT_EQ(CM_Reenumerate_DevNode(root, 0x10), CR_INVALID_FLAG);
}

// ---- the machine image and fault injection ----

TEST_F(DeviceTree, InjectedFaultFailsTheCallWithItsCode) {
    Add(kPciBoard);
    sim::Fault fault;
    fault.api = "SetupDiGetClassDevsA";
    fault.error = ERROR_NOT_ENOUGH_MEMORY;
    sim::Faults().push_back(fault);
    SetLastError(kSentinel);
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));

    fault.api = "CM_Get_DevNode_Status";
    fault.arg = kPciBoard;
    fault.error = CR_FAILURE;
    sim::Faults().push_back(fault);
    ULONG status = kSentinel, problem = kSentinel;
    EXPECT_EQ(CM_Get_DevNode_Status(&status, &problem, sim::FindDevice(kPciBoard)->devInst, 0),
              CR_FAILURE);
    EXPECT_EQ(status, kSentinel);
}

TEST_F(DeviceTree, NodesSurviveSavingAndReopeningTheImage) {
    const std::string dir = std::filesystem::temp_directory_path().string() + "/bk-devices-" +
                            std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    sim::OpenImage(dir);
    Add(kUsbBoard, sim::Presence::Phantom);
    Add(kPciBoard, sim::Presence::Present, "", kBoardClassText, CM_PROB_FAILED_INSTALL);
    sim::SaveImage();
    sim::OpenImage(dir);
    EXPECT_EQ(Listed(nullptr, DIGCF_ALLCLASSES), (Ids{kUsbBoard, kPciBoard}));
    EXPECT_EQ(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES), (Ids{kPciBoard}));
    EXPECT_EQ(sim::FindDevice(kPciBoard)->problem, 28u);
    sim::ResetToEmpty();
    std::filesystem::remove_all(dir);
}

TEST_F(DeviceTree, ARemovedHubStillPluggedInComesBackWithItsBoardInALaterRun) {
    const char* const hub = "PCI\\VEN_8086&DEV_7000\\3&1&0&08";
    const std::string dir = std::filesystem::temp_directory_path().string() + "/bk-devices-hub-" +
                            std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    sim::OpenImage(dir);
    Add(hub);
    Add(kUsbBoard, sim::Presence::Present, hub);
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));  // the hub, made first
    ASSERT_TRUE(SetupDiRemoveDevice(set, &data));
    SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES), Ids{});
    sim::SaveImage();

    for (int run = 0; run < 2; ++run) {  // the enumeration's run, then the next one
        sim::OpenImage(dir);
        if (run == 0) {
            DEVINST root = 0;
            ASSERT_EQ(CM_Locate_DevNodeA(&root, nullptr, 0), CR_SUCCESS);
            ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL), CR_SUCCESS);
            sim::SaveImage();
        }
        EXPECT_EQ(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES), (Ids{kUsbBoard, hub}));
        DEVINST parent = 0;
        ASSERT_EQ(CM_Get_Parent(&parent, sim::FindDevice(kUsbBoard)->devInst, 0), CR_SUCCESS);
        EXPECT_EQ(parent, sim::FindDevice(hub)->devInst);
    }
    sim::ResetToEmpty();
    std::filesystem::remove_all(dir);
}

TEST_F(DeviceTree, ARetryThatFailsAgainLeavesTheImageAsItWas) {
    const std::string dir = std::filesystem::temp_directory_path().string() + "/bk-devices-retry-" +
                            std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    sim::OpenImage(dir);
    Add(kPciBoard, sim::Presence::Present, "", kBoardClassText, CM_PROB_FAILED_INSTALL);
    sim::SetInstallHandler([](sim::DeviceNode&) { return false; });
    DEVINST root = 0;
    CM_Locate_DevNodeA(&root, nullptr, 0);
    // The first failure marks the node's flags; the image is saved with them.
    ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_RETRY_INSTALLATION), CR_SUCCESS);
    sim::SaveImage();
    const std::string marked = sim::GenerationDir();
    ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_RETRY_INSTALLATION), CR_SUCCESS);
    sim::SaveImage();
    EXPECT_EQ(sim::GenerationDir(), marked) << "a second failure saved a new generation";
    EXPECT_EQ(sim::FindDevice(kPciBoard)->problem, 28u);

    // A retry that succeeds does change the image.
    sim::SetInstallHandler([](sim::DeviceNode&) { return true; });
    ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_RETRY_INSTALLATION), CR_SUCCESS);
    sim::SaveImage();
    EXPECT_NE(sim::GenerationDir(), marked);
    EXPECT_EQ(sim::FindDevice(kPciBoard)->problem, 0u);
    sim::SetInstallHandler(nullptr);
    sim::ResetToEmpty();
    std::filesystem::remove_all(dir);
}

TEST_F(DeviceTree, EnumKeysWithoutRunTimeStateAreRememberedBoards) {
    const std::string dir = std::filesystem::temp_directory_path().string() + "/bk-devices-reg-" +
                            std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    sim::OpenImage(dir);
    // As a registry imported from another machine carries it: an Enum key and nothing else.
    sim::RegKey& key =
        sim::CreateKey(sim::Hklm(), std::string(sim::kEnumKeyPath) + "\\" + kPciBoard);
    sim::SetMultiStringValue(key, "HardwareId", {HardwareIdOf(kPciBoard)});
    sim::MarkDirty("registry");
    sim::SaveImage();
    sim::OpenImage(dir);
    EXPECT_EQ(Listed(nullptr, DIGCF_ALLCLASSES), (Ids{kPciBoard}));
    EXPECT_TRUE(Listed(nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES).empty());
    sim::ResetToEmpty();
    std::filesystem::remove_all(dir);
}

TEST_F(DeviceTree, UnregisteredNodeGoesAwayWithItsSetAndRemovalDeletesTheKeys) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kBoardClass, nullptr);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiCreateDeviceInfoA(set, "Board", &kBoardClass, nullptr, nullptr,
                                         DICD_GENERATE_ID, &data));
    EXPECT_NE(sim::FindDevice("ROOT\\BOARD\\0000"), nullptr);
    SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(sim::FindDevice("ROOT\\BOARD\\0000"), nullptr);
    EXPECT_EQ(sim::FindKey(sim::Hklm(), std::string(sim::kEnumKeyPath) + "\\ROOT\\BOARD\\0000"),
              nullptr);

    sim::DeviceNode* node = Add(kPciBoard);
    ASSERT_NE(sim::CreateDriverKey(*node), nullptr);
    const std::string driverPath = sim::KeyPath(*sim::DriverKey(*node));
    EXPECT_TRUE(sim::RemoveDevice(kPciBoard));
    EXPECT_EQ(sim::FindKey(sim::Hklm(), driverPath), nullptr);
}

TEST_F(DeviceTree, CreatingWithoutAdministratorRightsIsDenied) {
    sim::Settings().elevated = false;
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kBoardClass, nullptr);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiCreateDeviceInfoA(set, "Board", &kBoardClass, nullptr, nullptr,
                                          DICD_GENERATE_ID, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::AllDevices().empty());
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(DeviceTree, TenThousandNodesAreAllListedAndReadable) {
    for (int i = 0; i < 10000; ++i) {
        sim::DeviceSpec spec;
        spec.instanceId = "PCI\\VEN_1000&DEV_" + std::to_string(i) + "\\0";
        spec.hardwareIds = {"PCI\\VEN_1000&DEV_" + std::to_string(i)};
        spec.classGuid = kSystemClass;
        ASSERT_NE(sim::AddDevice(spec), nullptr);
    }
    HDEVINFO set = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT);
    SetupDiDestroyDeviceInfoList(set);
    set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    DWORD count = 0;
    char buffer[128];
    for (; SetupDiEnumDeviceInfo(set, count, &data); ++count) {
        ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, nullptr,
                                                      reinterpret_cast<BYTE*>(buffer),
                                                      sizeof buffer, nullptr));
    }
    SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(count, 10000u);
}

}  // namespace

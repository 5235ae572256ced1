// Importing a customer's machine: the device tree, presence and problems, the registry as
// exported and the OEM INF copies come out as that machine holds them.
#include <string>

#include "devices.h"
#include "driver_store.h"
#include "file_system.h"
#include "import_helpers.h"
#include "machine.h"
#include "reg_file.h"
#include "registry_tree.h"

namespace import_test {
namespace {

const char* const kPx1001 = "PCI\\VEN_5AE3&DEV_1001&SUBSYS_00015AE3&REV_01\\4&1a2b3c4d&0&0018";
const char* const kPxe1004 = "PCI\\VEN_5AE3&DEV_E104&SUBSYS_00015AE3&REV_01\\4&2c3d4e5f&0&0020";
const char* const kPx1201 = "PCI\\VEN_5AE3&DEV_1201&SUBSYS_00015AE3&REV_01\\4&3d4e5f60&0&0028";
const char* const kUa1008 = "USB\\VID_2E5B&PID_1008\\5&3b4c5d6e&0&1";
const char* const kUa1016 = "USB\\VID_2E5B&PID_1016\\5&3b4c5d6e&0&2";
const char* const kMouse = "USB\\VID_046D&PID_C077\\6&11111111&0&3";
const char* const kDemo = "ROOT\\DAQBOARD\\0000";
const char* const kBus = "ACPI\\PNP0A08\\0";

struct Expected {
    const char* id;
    sim::Presence presence;
    ULONG problem;
};

// The customer machine as Get-PnpDevice reports it: the PCI Express board's install failed
// (Code 28), the mouse is disabled (Code 22), two boards are unplugged.
const Expected kCustomerDevices[] = {
    {kBus, sim::Presence::Present, 0},      {kPx1001, sim::Presence::Present, 0},
    {kPxe1004, sim::Presence::Present, 28}, {kPx1201, sim::Presence::Phantom, 0},
    {kMouse, sim::Presence::Present, 22},   {kUa1008, sim::Presence::Present, 0},
    {kUa1016, sim::Presence::Phantom, 0},   {kDemo, sim::Presence::Present, 0},
};

class ImportTest : public ScratchTest {
  protected:
    void TearDown() override {
        sim::ResetToEmpty();
        ScratchTest::TearDown();
    }
    void ExpectCustomerDevices() {
        ASSERT_EQ(sim::AllDevices().size(), std::size(kCustomerDevices));
        for (const Expected& device : kCustomerDevices) {
            const sim::DeviceNode* node = sim::FindDevice(device.id);
            ASSERT_NE(node, nullptr) << device.id;
            EXPECT_EQ(node->presence, device.presence) << device.id;
            if (device.presence == sim::Presence::Present) {
                EXPECT_EQ(node->problem, device.problem) << device.id;
            }
        }
    }
    std::string HklmExport() { return sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE"); }
};

TEST_F(ImportTest, PresenceListMakesTheUnlistedInstancesAbsent) {
    const tools::ImportResult result = ImportCustomer("image", "present.txt");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.devices, 8u);
    EXPECT_EQ(result.phantoms, 2u);
    sim::OpenImage(Path("image"));
    ExpectCustomerDevices();
}

TEST_F(ImportTest, PowerShellJsonInEitherEncodingGivesTheSameMachine) {
    for (const char* file : {"devices_ps51.json", "devices_ps7.json"}) {
        const std::string image = std::string("image-") + file;
        const tools::ImportResult result = ImportCustomer(image, file);
        ASSERT_TRUE(result.ok) << file << ": " << result.error;
        sim::OpenImage(Path(image));
        ExpectCustomerDevices();
        sim::ResetToEmpty();
    }
}

TEST_F(ImportTest, WithoutPresenceEveryNodeIsPresentWithTheProblemItsRegistryTells) {
    ASSERT_TRUE(ImportCustomer("image", "").ok);
    sim::OpenImage(Path("image"));
    EXPECT_EQ(sim::AllDevices().size(), 8u);
    for (const sim::DeviceNode* node : sim::AllDevices()) {
        EXPECT_EQ(node->presence, sim::Presence::Present) << node->instanceId;
    }
    EXPECT_EQ(sim::FindDevice(kPxe1004)->problem, 28u);  // failed install, no driver
    EXPECT_EQ(sim::FindDevice(kMouse)->problem, 22u);    // disabled
    EXPECT_EQ(sim::FindDevice(kPx1201)->problem, 0u);    // has a driver: works when plugged
    EXPECT_EQ(sim::FindDevice(kDemo)->problem, 0u);
}

TEST_F(ImportTest, NodeWithoutDriverGetsTheFailedInstallProblem) {
    std::string text = FromUtf16(ReadBytes(Fixture("customer.reg")));
    const std::string driver = "\"Driver\"=\"{3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}\\\\0001\"\r\n";
    ASSERT_NE(text.find(driver), std::string::npos);
    text.erase(text.find(driver), driver.size());  // the demo device loses its driver
    WriteBytes(Path("edited.reg"), Utf16(text));
    tools::ImportRequest request;
    request.imageDir = Path("image");
    request.regFiles = {Path("edited.reg")};
    ASSERT_TRUE(tools::ImportMachine(request).ok);
    sim::OpenImage(Path("image"));
    EXPECT_EQ(sim::FindDevice(kDemo)->problem, 28u);
}

TEST_F(ImportTest, SingleJsonObjectNamesTheOnePresentDevice) {
    // ConvertTo-Json writes an object, not an array, when the pipeline carries one device;
    // UTF-8 with a byte-order mark is what Out-File -Encoding utf8 writes.
    WriteBytes(Path("one.json"),
               "\xEF\xBB\xBF{\r\n    \"InstanceId\":  \"ROOT\\\\DAQBOARD\\\\0000\",\r\n"
               "    \"Present\":  true,\r\n    \"Problem\":  \"CM_PROB_DISABLED\"\r\n}\r\n");
    tools::ImportRequest request;
    request.imageDir = Path("image");
    request.regFiles = {Fixture("customer.reg")};
    request.presenceFile = Path("one.json");
    ASSERT_TRUE(tools::ImportMachine(request).ok);
    sim::OpenImage(Path("image"));
    EXPECT_EQ(sim::FindDevice(kDemo)->presence, sim::Presence::Present);
    EXPECT_EQ(sim::FindDevice(kDemo)->problem, 22u);
    EXPECT_EQ(sim::FindDevice(kPx1001)->presence, sim::Presence::Phantom);
}

TEST_F(ImportTest, RegistryKeepsEveryRecordAndValueOfTheExport) {
    ASSERT_TRUE(ImportCustomer("image", "present.txt").ok);
    sim::OpenImage(Path("image"));
    sim::RegKey* record =
        sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\Device001");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(sim::GetStringValue(*record, "KernelKey"), std::string("TolPx10S"));
    EXPECT_EQ(sim::GetDwordValue(*record, "ProductID"), 0x101u);
    sim::RegKey* pre = sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Services\\TOLVANPRE");
    ASSERT_NE(pre, nullptr);
    EXPECT_EQ(sim::GetStringValue(*pre, "TolPxe1"), std::string("TolPxe1s.inf"));
    sim::RegKey* demo = sim::FindKey(sim::Hklm(), std::string(sim::kEnumKeyPath) + "\\" + kDemo);
    ASSERT_NE(demo, nullptr);
    EXPECT_EQ(sim::GetStringValue(*demo, "LocationInformation"), std::string("000"));
    EXPECT_EQ(sim::GetMultiStringValue(*demo, "HardwareID"), std::vector<std::string>{"DEMO"});
    sim::RegKey* service =
        sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Services\\TolPx10S");
    ASSERT_NE(service, nullptr);
    const sim::RegValue* image = sim::FindValue(*service, "ImagePath");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(sim::GetStringValue(*service, "ImagePath"),
              std::string("\\SystemRoot\\System32\\drivers\\TolPx10s.sys"));
}

TEST_F(ImportTest, SeveralFilesInBothFormsGiveTheRegistryOfOneExport) {
    ASSERT_TRUE(ImportCustomer("whole", "").ok);
    tools::ImportRequest split;
    split.imageDir = Path("split");
    split.regFiles = {Fixture("customer_enum.reg"),
                      Fixture("customer_class_services_regedit4.reg")};
    split.infFolder = Fixture("inf");
    ASSERT_TRUE(tools::ImportMachine(split).ok);
    sim::OpenImage(Path("whole"));
    const std::string whole = HklmExport();
    sim::OpenImage(Path("split"));
    EXPECT_EQ(HklmExport(), whole);
    EXPECT_GT(whole.size(), 20000u);
}

TEST_F(ImportTest, InfCopiesKeepTheirOemNumbersAndBytes) {
    ASSERT_TRUE(ImportCustomer("image", "present.txt").ok);
    sim::OpenImage(Path("image"));
    const std::vector<std::string> expected{"oem10.inf", "oem12.inf", "oem3.inf",
                                            "oem7.inf",  "oem8.inf",  "oem9.inf"};
    std::vector<std::string> copies = sim::store::OemCopies();
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies, expected);
    for (const std::string& name : expected) {
        std::string bytes;
        ASSERT_TRUE(sim::files::ReadWholeFile("C:\\Windows\\INF\\" + name, bytes)) << name;
        EXPECT_EQ(bytes, ReadBytes(Fixture("inf/" + name))) << name;
    }
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\setupapi.dev.log"));
}

TEST_F(ImportTest, WineExportsImportAsRealInput) {
    tools::ImportRequest request;
    request.imageDir = Path("image");
    const std::string wine = std::string(BK_SOURCE_DIR) + "/tests/fixtures/wine/";
    request.regFiles = {wine + "wine-enum.reg", wine + "wine-control-class.reg"};
    const tools::ImportResult result = tools::ImportMachine(request);
    ASSERT_TRUE(result.ok) << result.error;
    sim::OpenImage(Path("image"));
    const sim::DeviceNode* board = sim::FindDevice("ROOT\\SAMPLEPCI\\0000");
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->presence, sim::Presence::Present);
    sim::RegKey* enumKey = sim::FindKey(sim::Hklm(), sim::kEnumKeyPath);
    ASSERT_NE(enumKey, nullptr);
    // Every key, value, type and byte survives: exported again, the file is the same.
    EXPECT_EQ(sim::ExportRegFile(*enumKey, "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum"),
              ReadBytes(wine + "wine-enum.reg"));
}

TEST_F(ImportTest, ImageIsPutInPlaceWhole) {
    fs::create_directories(Path("image"));  // an empty folder may be named
    ASSERT_TRUE(ImportCustomer("image", "present.txt").ok);
    EXPECT_EQ(Entries(), std::vector<std::string>{"image"});
    EXPECT_TRUE(fs::is_symlink(Path("image/current")));
    EXPECT_TRUE(fs::exists(Path("image/current/registry.reg")));
    EXPECT_TRUE(fs::exists(Path("image/current/machine.json")));
}

}  // namespace
}  // namespace import_test

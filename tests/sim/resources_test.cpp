// Allocated resources through the Configuration Manager: logical configurations, descriptor
// data with the x64 layouts, and conflict lists against what other devices hold.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "devices.h"
#include "machine.h"
#include "platform/win32.h"
#include "resources_alloc.h"

#include <unistd.h>

namespace {

const char* const kIsaBoard = "ROOT\\TOLISA\\0000";
const char* const kNeighbour = "ROOT\\TOLISA\\0001";
const char* const kNewBoard = "ROOT\\TOLISA\\0002";

// The descriptors a legacy board's conflict check passes: one header and one range, each
// field as the board's setup program fills it.
// `flags` 0x5 is fIOD_IO | fIOD_10_BIT_DECODE, what a legacy ISA board decodes.
std::vector<BYTE> IoQuery(ULONGLONG base, ULONGLONG length, DWORD flags = 0x5) {
    std::vector<BYTE> bytes(68, 0);
    const DWORD count = 1, type = 40, ports = static_cast<DWORD>(length);
    const ULONGLONG end = base + length - 1, align = 0xFFFFFFFFFFFFFFF0ull, alias = 0x4;
    std::memcpy(&bytes[0], &count, 4);
    std::memcpy(&bytes[4], &type, 4);
    std::memcpy(&bytes[8], &base, 8);
    std::memcpy(&bytes[16], &end, 8);
    std::memcpy(&bytes[24], &flags, 4);
    std::memcpy(&bytes[28], &align, 8);
    std::memcpy(&bytes[36], &ports, 4);
    std::memcpy(&bytes[40], &base, 8);
    std::memcpy(&bytes[48], &end, 8);
    std::memcpy(&bytes[56], &flags, 4);
    std::memcpy(&bytes[60], &alias, 8);
    return bytes;
}

std::vector<BYTE> IrqQuery(DWORD irq) {
    std::vector<BYTE> bytes(36, 0);
    const DWORD count = 1, type = 12, flags = 0x2;
    const ULONGLONG affinity = ~0ull;
    std::memcpy(&bytes[0], &count, 4);
    std::memcpy(&bytes[4], &type, 4);
    std::memcpy(&bytes[8], &flags, 4);
    std::memcpy(&bytes[12], &irq, 4);
    std::memcpy(&bytes[16], &affinity, 8);
    std::memcpy(&bytes[24], &irq, 4);
    std::memcpy(&bytes[28], &irq, 4);
    std::memcpy(&bytes[32], &flags, 4);
    return bytes;
}

std::vector<BYTE> DmaQuery(DWORD channel) {
    std::vector<BYTE> bytes(28, 0);
    const DWORD count = 1, type = 12;
    std::memcpy(&bytes[0], &count, 4);
    std::memcpy(&bytes[4], &type, 4);
    std::memcpy(&bytes[12], &channel, 4);
    std::memcpy(&bytes[16], &channel, 4);
    std::memcpy(&bytes[20], &channel, 4);
    return bytes;
}

class Resources : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        for (const char* id : {kIsaBoard, kNeighbour, kNewBoard}) {
            sim::DeviceSpec spec;
            spec.instanceId = id;
            ASSERT_NE(sim::AddDevice(spec), nullptr);
        }
        sim::SetNodeResources(*sim::FindDevice(kIsaBoard), {{ResType_IO, 0x300, 0x31F},
                                                            {ResType_IRQ, 5, 5},
                                                            {ResType_IO, 0x378, 0x37F},
                                                            {ResType_DMA, 3, 3}});
    }
    void TearDown() override { sim::ResetToEmpty(); }

    static DEVINST Inst(const char* id) { return sim::FindDevice(id)->devInst; }

    // How many devices the query lists for `self`, or ~0 when the query fails.
    static ULONG Conflicts(const char* self, RESOURCEID type, const std::vector<BYTE>& data) {
        CONFLICT_LIST list = 0;
        if (CM_Query_Resource_Conflict_List(&list, Inst(self), type, data.data(),
                                            static_cast<ULONG>(data.size()), 0,
                                            nullptr) != CR_SUCCESS) {
            return ~0u;
        }
        ULONG count = 0xdeadbeef;
        EXPECT_EQ(CM_Get_Resource_Conflict_Count(list, &count), CR_SUCCESS);
        EXPECT_EQ(CM_Free_Resource_Conflict_Handle(list), CR_SUCCESS);
        return count;
    }
};

TEST_F(Resources, TheAllocatedConfigurationListsEachDescriptorOfTheAskedType) {
    LOG_CONF conf = 0;
    ASSERT_EQ(CM_Get_First_Log_Conf(&conf, Inst(kIsaBoard), ALLOC_LOG_CONF), CR_SUCCESS);
    RES_DES first = 0, second = 0, none = 0xdeadbeef;
    ASSERT_EQ(CM_Get_Next_Res_Des(&first, conf, ResType_IO, nullptr, 0), CR_SUCCESS);
    ULONG size = 0;
    ASSERT_EQ(CM_Get_Res_Des_Data_Size(&size, first, 0), CR_SUCCESS);
    EXPECT_EQ(size, 28u);  // an allocated I/O descriptor: the IO_DES header alone

    IO_RESOURCE io;
    std::memset(&io, 0xCC, sizeof io);
    ASSERT_EQ(CM_Get_Res_Des_Data(first, &io, sizeof io, 0), CR_SUCCESS);
    EXPECT_EQ(io.IO_Header.IOD_Alloc_Base, 0x300u);
    EXPECT_EQ(io.IO_Header.IOD_Alloc_End, 0x31Fu);
    EXPECT_EQ(io.IO_Header.IOD_Type, 40u);
    EXPECT_EQ(io.IO_Header.IOD_DesFlags & 0x1u, 0x1u);  // fIOD_IO

    ASSERT_EQ(CM_Get_Next_Res_Des(&second, first, ResType_IO, nullptr, 0), CR_SUCCESS);
    ASSERT_EQ(CM_Get_Res_Des_Data(second, &io, sizeof io, 0), CR_SUCCESS);
    EXPECT_EQ(io.IO_Header.IOD_Alloc_Base, 0x378u);
    EXPECT_EQ(CM_Get_Next_Res_Des(&none, second, ResType_IO, nullptr, 0), 0x0Fu);
    EXPECT_EQ(none, 0xdeadbeefu);  // CR_NO_MORE_RES_DES leaves the output alone

    for (RES_DES d : {first, second}) {
        EXPECT_EQ(CM_Free_Res_Des_Handle(d), CR_SUCCESS);
    }
    EXPECT_EQ(CM_Free_Res_Des_Handle(first), CR_INVALID_RES_DES);
    EXPECT_EQ(CM_Free_Log_Conf_Handle(conf), CR_SUCCESS);
    EXPECT_EQ(CM_Free_Log_Conf_Handle(conf), CR_INVALID_LOG_CONF);
}

TEST_F(Resources, IrqAndDmaDescriptorsCarryTheirNumbers) {
    LOG_CONF conf = 0;
    ASSERT_EQ(CM_Get_First_Log_Conf(&conf, Inst(kIsaBoard), ALLOC_LOG_CONF), CR_SUCCESS);
    RES_DES irq = 0, dma = 0;
    ASSERT_EQ(CM_Get_Next_Res_Des(&irq, conf, ResType_IRQ, nullptr, 0), CR_SUCCESS);
    IRQ_RESOURCE irqData{};
    EXPECT_EQ(CM_Get_Res_Des_Data(irq, &irqData, 23, 0), CR_BUFFER_SMALL);
    ASSERT_EQ(CM_Get_Res_Des_Data(irq, &irqData, sizeof irqData, 0), CR_SUCCESS);
    EXPECT_EQ(irqData.IRQ_Header.IRQD_Alloc_Num, 5u);

    ASSERT_EQ(CM_Get_Next_Res_Des(&dma, conf, ResType_DMA, nullptr, 0), CR_SUCCESS);
    DMA_RESOURCE dmaData{};
    ASSERT_EQ(CM_Get_Res_Des_Data(dma, &dmaData, sizeof dmaData, 0), CR_SUCCESS);
    EXPECT_EQ(dmaData.DMA_Header.DD_Alloc_Chan, 3u);

    // Walking every type reports each descriptor's type in the order they are held.
    std::vector<RESOURCEID> types;
    RES_DES at = conf;
    RES_DES next = 0;
    RESOURCEID type = 0;
    while (CM_Get_Next_Res_Des(&next, at, ResType_All, &type, 0) == CR_SUCCESS) {
        types.push_back(type);
        at = next;
    }
    EXPECT_EQ(types, (std::vector<RESOURCEID>{2, 4, 2, 3}));
}

TEST_F(Resources, ADeviceWithoutResourcesOrNotStartedHasNoAllocatedConfiguration) {
    LOG_CONF conf = 0xdeadbeef;
    EXPECT_EQ(CM_Get_First_Log_Conf(&conf, Inst(kNeighbour), ALLOC_LOG_CONF), 0x0Eu);
    EXPECT_EQ(conf, 0xdeadbeefu);
    sim::SetProblem(*sim::FindDevice(kIsaBoard), 22);  // CM_PROB_DISABLED
    EXPECT_EQ(CM_Get_First_Log_Conf(&conf, Inst(kIsaBoard), ALLOC_LOG_CONF), 0x0Eu);
    EXPECT_EQ(CM_Get_First_Log_Conf(nullptr, Inst(kIsaBoard), BOOT_LOG_CONF), CR_SUCCESS);
    sim::SetPresence(*sim::FindDevice(kIsaBoard), sim::Presence::Phantom);
    EXPECT_EQ(CM_Get_First_Log_Conf(&conf, Inst(kIsaBoard), BOOT_LOG_CONF), 0x0Eu);
    EXPECT_EQ(CM_Get_First_Log_Conf(&conf, 0, ALLOC_LOG_CONF), CR_INVALID_DEVNODE);
    EXPECT_EQ(CM_Get_First_Log_Conf(&conf, Inst(kNeighbour), 9), CR_INVALID_FLAG);
}

TEST_F(Resources, IoRangesConflictOnlyWhenTheyOverlap) {
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x300, 0x20)), 1u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x310, 0x10)), 1u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x31F, 1)), 1u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x2F0, 0x10)), 0u);   // ends at 0x2FF
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x320, 0x20)), 0u);   // starts at 0x320
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x2F0, 0x100)), 1u);  // spans both
}

TEST_F(Resources, ARangeDecodedInPartMeetsWhatOthersHoldAtItsAliases) {
    // 10-bit decode: addresses equal in bits 0-9 are one port, so 0x700-0x70F is 0x300-0x30F.
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x700, 0x10)), 1u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0xF78, 0x8)), 1u);   // 0x378 again
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x720, 0x20)), 0u);  // 0x320-0x33F
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x6F8, 0x10)), 1u);  // 0x2F8-0x307
    sim::SetNodeResources(*sim::FindDevice(kNeighbour), {{ResType_IO, 0x800, 0x803}});
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x3FC, 0x8)), 1u);  // wraps to 0x000
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x3F0, 0x8)), 0u);
    // 12-bit decode aliases every 0x1000; 16-bit decode meets only the range itself.
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x1300, 0x10, 0x9)), 1u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x700, 0x10, 0x9)), 0u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x700, 0x10, 0x11)), 0u);
}

TEST_F(Resources, ADeviceNeverConflictsWithItself) {
    EXPECT_EQ(Conflicts(kIsaBoard, ResType_IO, IoQuery(0x300, 0x20)), 0u);
    EXPECT_EQ(Conflicts(kIsaBoard, ResType_IRQ, IrqQuery(5)), 0u);
    sim::SetNodeResources(*sim::FindDevice(kNeighbour), {{ResType_IRQ, 5, 5}});
    EXPECT_EQ(Conflicts(kIsaBoard, ResType_IRQ, IrqQuery(5)), 1u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IRQ, IrqQuery(5)), 2u);
}

TEST_F(Resources, IrqAndDmaConflictOnEqualNumbersOfTheirOwnType) {
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IRQ, IrqQuery(5)), 1u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IRQ, IrqQuery(7)), 0u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IRQ, IrqQuery(3)), 0u);  // DMA 3 is another type
    EXPECT_EQ(Conflicts(kNewBoard, ResType_DMA, DmaQuery(3)), 1u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_DMA, DmaQuery(1)), 0u);
}

TEST_F(Resources, ADisabledDeviceHoldsNothingToConflictWith) {
    sim::SetProblem(*sim::FindDevice(kIsaBoard), 22);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IO, IoQuery(0x300, 0x20)), 0u);
    EXPECT_EQ(Conflicts(kNewBoard, ResType_IRQ, IrqQuery(5)), 0u);
}

TEST_F(Resources, ConflictQueriesCheckTheirArguments) {
    const std::vector<BYTE> io = IoQuery(0x300, 0x20);
    CONFLICT_LIST list = 0xdeadbeef;
    EXPECT_EQ(CM_Query_Resource_Conflict_List(nullptr, Inst(kNewBoard), ResType_IO, io.data(), 68,
                                              0, nullptr),
              CR_INVALID_POINTER);
    EXPECT_EQ(CM_Query_Resource_Conflict_List(&list, Inst(kNewBoard), ResType_IO, io.data(), 68, 1,
                                              nullptr),
              CR_INVALID_FLAG);
    EXPECT_EQ(CM_Query_Resource_Conflict_List(&list, Inst(kNewBoard), ResType_IO, io.data(), 60, 0,
                                              nullptr),
              CR_INVALID_DATA);
    EXPECT_EQ(CM_Query_Resource_Conflict_List(&list, 0, ResType_IO, io.data(), 68, 0, nullptr),
              CR_INVALID_DEVNODE);
    EXPECT_EQ(list, 0xdeadbeefu);
    ULONG count = 7;
    EXPECT_EQ(CM_Get_Resource_Conflict_Count(0x1234, &count), CR_INVALID_CONFLICT_LIST);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(CM_Free_Resource_Conflict_Handle(0x1234), CR_INVALID_CONFLICT_LIST);
}

TEST_F(Resources, TheLocalMachineConnectsAndItsHandleServesTheQuery) {
    HMACHINE machine = nullptr;
    ASSERT_EQ(CM_Connect_MachineA(nullptr, &machine), CR_SUCCESS);
    ASSERT_NE(machine, nullptr);
    const std::vector<BYTE> io = IoQuery(0x300, 0x20);
    CONFLICT_LIST list = 0;
    ASSERT_EQ(CM_Query_Resource_Conflict_List(&list, Inst(kNewBoard), ResType_IO, io.data(), 68, 0,
                                              machine),
              CR_SUCCESS);
    ULONG count = 0;
    EXPECT_EQ(CM_Get_Resource_Conflict_Count(list, &count), CR_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(CM_Free_Resource_Conflict_Handle(list), CR_SUCCESS);
    EXPECT_EQ(CM_Disconnect_Machine(machine), CR_SUCCESS);
    EXPECT_EQ(CM_Query_Resource_Conflict_List(&list, Inst(kNewBoard), ResType_IO, io.data(), 68, 0,
                                              machine),
              CR_INVALID_MACHINENAME);
}

TEST_F(Resources, AConnectionFaultIsReportedAsItsCode) {
    sim::Faults().push_back({"CM_Connect_MachineA", "", 0, 0, CR_ACCESS_DENIED, 0});
    HMACHINE machine = reinterpret_cast<HMACHINE>(0x1);
    EXPECT_EQ(CM_Connect_MachineA(nullptr, &machine), 0x33u);
    EXPECT_EQ(machine, reinterpret_cast<HMACHINE>(0x1));
}

TEST_F(Resources, ResourcesAndAProfileDisableSurviveTheNextRun) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("bk-resources-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    sim::OpenImage(dir.string());
    sim::DeviceSpec spec;
    spec.instanceId = kIsaBoard;
    ASSERT_NE(sim::AddDevice(spec), nullptr);
    sim::SetNodeResources(*sim::FindDevice(kIsaBoard),
                          {{ResType_IO, 0x280, 0x28F}, {ResType_DMA, 1, 1}});
    sim::SetDisabledHere(*sim::FindDevice(kIsaBoard), true);
    sim::SaveImage();
    sim::ResetToEmpty();
    sim::OpenImage(dir.string());
    sim::DeviceNode* node = sim::FindDevice(kIsaBoard);
    ASSERT_NE(node, nullptr);
    const std::vector<sim::Resource>& held = sim::NodeResources(*node);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].type, static_cast<RESOURCEID>(ResType_IO));
    EXPECT_EQ(held[0].first, 0x280u);
    EXPECT_EQ(held[0].last, 0x28Fu);
    EXPECT_EQ(held[1].type, static_cast<RESOURCEID>(ResType_DMA));
    EXPECT_EQ(held[1].first, 1u);
    EXPECT_TRUE(sim::DisabledHere(*node));
    sim::ResetToEmpty();
    fs::remove_all(dir);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/RegistryRefill.h"
#include "core/RtuTable.h"

namespace {

TEST(RtuTable, StartsZeroed) {
    RtuTable table;
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        const RtuRecord r = table.Slot(i).Snapshot();
        EXPECT_STREQ(r.uidText, "");
        EXPECT_EQ(r.model, 0);
        EXPECT_EQ(r.ain[0], 0.0f);
    }
}

TEST(RtuTable, IdZeroFindsFirstSlotWithoutNumericUid) {
    RtuTable table;
    table.Slot(0).SetUidText("12");
    table.Slot(1).SetUidText("abc");
    EXPECT_EQ(table.FindRtu(0), &table.Slot(1));
}

TEST(RtuTable, AnEmptySlotMatchesNoUnitId) {
    RtuTable table;
    table.Slot(1).SetUidText("5");
    EXPECT_EQ(table.FindRtu(0), nullptr);
    table.Slot(1).Reset();
    EXPECT_EQ(table.FindRtu(5), nullptr);
    EXPECT_EQ(table.FindRtu(0), nullptr);
}

TEST(RtuTable, DuplicateUnitIdFindsLowerSlot) {
    RtuTable table;
    table.Slot(3).SetUidText("7");
    table.Slot(9).SetUidText("7");
    EXPECT_EQ(table.FindRtu(7), &table.Slot(3));
}

TEST(RtuTable, UidTextReadsLikeLeadingInteger) {
    RtuTable table;
    table.Slot(0).SetUidText("abc");
    table.Slot(1).SetUidText(" 42x");
    table.Slot(2).SetUidText("+0043");
    EXPECT_EQ(table.FindRtu(42), &table.Slot(1));
    EXPECT_EQ(table.FindRtu(43), &table.Slot(2));
    EXPECT_EQ(table.FindRtu(1000), nullptr);
}

TEST(RtuTable, RenamedSlotIsFoundByItsNewId) {
    RtuTable table;
    table.Slot(0).SetUidText("12");
    table.Slot(0).SetUidText("13");
    EXPECT_EQ(table.FindRtu(12), nullptr);
    EXPECT_EQ(table.FindRtu(13), &table.Slot(0));
}

TEST(RtuTable, FindByUidTextIsExactAndCaseSensitive) {
    RtuTable table;
    table.Slot(0).SetUidText("0012");
    table.Slot(1).SetUidText("Ab");
    EXPECT_EQ(table.FindRtuByUidText("0012"), &table.Slot(0));
    EXPECT_EQ(table.FindRtuByUidText("12"), nullptr);
    EXPECT_EQ(table.FindRtuByUidText("ab"), nullptr);
    EXPECT_EQ(table.FindRtuByUidText("Ab"), &table.Slot(1));
}

TEST(RtuSlot, UidTextIsCutTo31Characters) {
    RtuSlot slot;
    slot.SetUidText(std::string(40, '9'));
    EXPECT_EQ(std::string(slot.Snapshot().uidText), std::string(31, '9'));
}

TEST(RtuSlot, IndexOutOfRangeChangesNothing) {
    RtuSlot slot;
    slot.SetDin(32, 1);
    slot.SetDout(32, 1);
    slot.SetAin(32, 1.0);
    slot.SetEtemp(40, 1.0);
    slot.SetGraycode(32, 1.0);
    slot.SetRegisterValue(256, 1.0);
    slot.SetCoilValue(256, 1);
    const RtuRecord r = slot.Snapshot();
    const RtuRecord zero{};
    EXPECT_EQ(0, std::memcmp(&r, &zero, sizeof r));
}

TEST(RtuSlot, CoilStoresLowByteAndKind) {
    RtuSlot slot;
    slot.SetCoilValue(1, 300);
    slot.SetRegisterValue(2, 1.5);
    const RtuRecord r = slot.Snapshot();
    EXPECT_EQ(r.reg[1], 44.0f);
    EXPECT_EQ(r.regKind[1], 2);
    EXPECT_EQ(r.reg[2], 1.5f);
    EXPECT_EQ(r.regKind[2], 1);
}

TEST(RtuSlot, CounterKeepsOnlyFourSlotsAndReadsUnsigned) {
    RtuSlot slot;
    slot.SetCounter(1304, 250);
    slot.SetCounter(1305, 999);
    slot.SetCounter(1300, 999);
    slot.SetCounter(1301, -1);
    const RtuRecord r = slot.Snapshot();
    EXPECT_EQ(r.ecounter[3], 2.5f);
    EXPECT_FLOAT_EQ(r.ecounter[0], 4294967295.0f * 0.01f);
    EXPECT_EQ(r.ecounter[1], 0.0f);
    EXPECT_EQ(r.ecounter[2], 0.0f);
}

TEST(RtuSlot, LongTextsAreCutToTheirFields) {
    RtuSlot slot;
    slot.SetGps(std::string(300, 'g'));
    slot.SetRegistString(std::string(400, 'r'));
    const RtuRecord r = slot.Snapshot();
    EXPECT_EQ(std::string(r.gps), std::string(127, 'g'));
    EXPECT_EQ(std::string(r.registString), std::string(255, 'r'));
}

struct CapabilityRow {
    int model;
    int din, dout, ain, etemp, counter;
    bool gps, graycode;
};

class Capabilities : public ::testing::TestWithParam<CapabilityRow> {};

TEST_P(Capabilities, FollowModel) {
    const CapabilityRow& row = GetParam();
    RtuRecord r{};
    r.model = row.model;
    EXPECT_EQ(r.DinCount(), row.din);
    EXPECT_EQ(r.DoutCount(), row.dout);
    EXPECT_EQ(r.AinCount(), row.ain);
    EXPECT_EQ(r.EtempCount(), row.etemp);
    EXPECT_EQ(r.CounterCount(), row.counter);
    EXPECT_EQ(r.HasGps(), row.gps);
    EXPECT_EQ(r.HasGraycode(), row.graycode);
}

INSTANTIATE_TEST_SUITE_P(
    Models, Capabilities,
    ::testing::Values(CapabilityRow{401, 4, 4, 0, 0, 0, false, false}, CapabilityRow{402, 8, 8, 4, 0, 0, false, false},
                      CapabilityRow{403, 4, 4, 4, 4, 4, true, false}, CapabilityRow{404, 0, 0, 0, 4, 0, false, false},
                      CapabilityRow{405, 2, 1, 4, 0, 0, false, true}, CapabilityRow{406, 4, 4, 0, 0, 4, false, false},
                      CapabilityRow{407, 8, 8, 4, 0, 4, false, false}, CapabilityRow{409, 8, 8, 4, 0, 0, false, false},
                      CapabilityRow{408, 0, 0, 0, 0, 0, false, false}, CapabilityRow{0, 0, 0, 0, 0, 0, false, false}),
    [](const auto& info) { return "Model" + std::to_string(info.param.model); });

}  // namespace

// A reload keeps each RTU in its slot with its values and last report, so a reading found for it
// before the reload lands on it; a gone RTU's slot is emptied and a new one takes a fresh slot.
TEST(RtuTable, RefillKeepsRtusInTheirSlotsAndEmptiesTheGoneOnes) {
    RtuTable table;
    ASSERT_EQ(RefillRtuTable(table, {{"12", 402}, {"30", 402}, {"40", 1}}), 3u);
    RtuSlot* twelve = table.FindRtu(12);
    twelve->SetAin(1, 12.5);
    table.Activity().Note(table.IndexOf(*twelve), ReportOrigin{}, true);
    table.Slot(1).SetAin(1, 7.0);

    EXPECT_EQ(RefillRtuTable(table, {{"12", 403}, {"20", 402}, {"40", 1}, {"20", 5}}), 1u);
    EXPECT_EQ(table.FindRtu(12), twelve);
    EXPECT_EQ(twelve->Snapshot().model, 403);
    EXPECT_FLOAT_EQ(twelve->Snapshot().ain[1], 12.5f);
    EXPECT_EQ(table.Activity().Read(0).frames, 1u);
    EXPECT_EQ(table.FindRtu(30), nullptr);
    EXPECT_FLOAT_EQ(table.Slot(1).Snapshot().ain[1], 0.0f);
    // Past the last slot in use, not in the slot 30 left a moment ago.
    ASSERT_NE(table.FindRtu(20), nullptr);
    EXPECT_EQ(table.IndexOf(*table.FindRtu(20)), 3u);
    EXPECT_EQ(table.FindRtu(20)->Snapshot().model, 402);
}

namespace {

TEST(UnregisteredRtus, KeepsEachUnitOnceInTheOrderFirstSeenWithItsLastPeerAndCountsTheRest) {
    UnregisteredRtus units;
    units.Note(99, ReportOrigin{nullptr, 0, 0x7f000001, 4000}, true);
    units.Note(98, ReportOrigin{}, false);
    units.Note(99, ReportOrigin{nullptr, 1, 0x7f000001, 4001}, true);
    std::vector<UnregisteredRtus::Entry> seen = units.Read();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].unitId, 99);
    EXPECT_EQ(seen[0].report.frames, 2u);
    EXPECT_EQ(seen[0].report.origin.peerPort, 4001);
    EXPECT_EQ(seen[1].unitId, 98);
    EXPECT_EQ(seen[1].report.unknownFrames, 1u);

    for (std::int32_t id = 1000; units.Read().size() < UnregisteredRtus::kEntries; ++id) units.Note(id, {}, true);
    units.Note(5, {}, true);
    EXPECT_EQ(units.Overflow(), 1u);
    units.Note(99, {}, true);
    EXPECT_EQ(units.Read()[0].report.frames, 3u) << "a unit with an entry keeps counting";
}

// Workers noting the same new units at once claim one entry each, never two.
TEST(UnregisteredRtus, UnitsNotedFromManyThreadsAtOnceGetOneEntryEach) {
    UnregisteredRtus units;
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&units] {
            for (int round = 0; round < 10; ++round)
                for (std::int32_t id = 0; id < 64; ++id) units.Note(id, {}, true);
        });
    for (std::thread& worker : workers) worker.join();
    std::set<std::int32_t> ids;
    for (const UnregisteredRtus::Entry& entry : units.Read()) {
        ids.insert(entry.unitId);
        EXPECT_EQ(entry.report.frames, 40u) << "unit " << entry.unitId;
    }
    EXPECT_EQ(ids.size(), 64u);
    EXPECT_EQ(units.Read().size(), 64u);
}

}  // namespace

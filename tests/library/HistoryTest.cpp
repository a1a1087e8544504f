#include "InitMMBHistory.h"

#include "DebugRoot.h"
#include "InitMMBFirm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using History = InitMMBHistory;

[[maybe_unused]] ::testing::Environment* const root =
    ::testing::AddGlobalTestEnvironment(new DebugRoot({"/var/mmb/log"}));

// Sequence 0x01020304 at 0x80000000 seconds (past 2038): MMB 1 started
// Standby (provisional) on AC-ON, update 'F', HCP 0 "V01.02" next HCP 1
// "V01.03abcde" (all 11 bytes), boot ROM bank 1 next 0.
const Bytes GOLDEN = {0x4D, 0x4D, 0x42, 0x48, 0x01, 0x02, 0x03, 0x04, 0x80, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00,
                      0x01, 0x46, 0x00, 0x01, 0x01, 0x00, 0x56, 0x30, 0x31, 0x2E, 0x30, 0x32, 0x00, 0x00, 0x00, 0x00,
                      0x00, 0x56, 0x30, 0x31, 0x2E, 0x30, 0x33, 0x61, 0x62, 0x63, 0x64, 0x65, 0xED, 0xEE, 0x7C, 0x78};

History::Record goldenRecord()
{
    History::Record record = {0x01020304, 0x80000000, History::START, History::PROVISIONAL, 1, 0, 1, 'F', 0, 1, 1, 0,
                              "V01.02", {}};
    memcpy(record.nextHcpRev, "V01.03abcde", History::REV_SIZE);
    return record;
}

// Records 0..count-1 as stored one after the other, as a file not yet full.
Bytes storedRecords(uint32_t count)
{
    Bytes stored(count * History::RECORD_SIZE);
    for (uint32_t sequence = 0; sequence < count; ++sequence) {
        History::Record record = goldenRecord();
        record.sequence = sequence;
        record.pack(stored.data() + sequence * History::RECORD_SIZE);
    }
    return stored;
}

std::vector<uint32_t> sequencesOf(const History::Contents& contents)
{
    std::vector<uint32_t> sequences;
    for (const History::Record& record : contents.records)
        sequences.push_back(record.sequence);
    return sequences;
}

TEST(History, record_is_stored_as_its_exact_bytes_and_read_back_whole)
{
    uint8_t stored[History::RECORD_SIZE];
    goldenRecord().pack(stored);
    EXPECT_EQ(Bytes(stored, stored + sizeof stored), GOLDEN);

    History::Record back = {};
    ASSERT_TRUE(back.unpack(GOLDEN.data()));
    uint8_t again[History::RECORD_SIZE];
    back.pack(again);
    EXPECT_EQ(Bytes(again, again + sizeof again), GOLDEN);
}

TEST(History, a_record_with_any_byte_changed_is_skipped_never_read)
{
    const Bytes whole = storedRecords(1);
    ASSERT_EQ(History::read(whole.data(), whole.size()).records.size(), 1u);
    for (std::size_t at = 0; at < whole.size(); ++at) {
        Bytes damaged = whole;
        damaged[at] ^= 0x01;
        History::Contents contents = History::read(damaged.data(), damaged.size());
        EXPECT_TRUE(contents.records.empty()) << "byte " << at;
        EXPECT_EQ(contents.skippedSlots, std::vector<int>{0}) << "byte " << at;
    }
}

// A power cut at any byte of an append: cut at length n, the file yields
// exactly the records wholly written and the cut one as skipped.
TEST(History, power_cut_at_any_byte_of_a_growing_file_keeps_exactly_the_whole_records)
{
    const Bytes stored = storedRecords(3);
    for (std::size_t cut = 0; cut <= stored.size(); ++cut) {
        History::Contents contents = History::read(stored.data(), cut);
        std::vector<uint32_t> whole;
        for (uint32_t sequence = 0; sequence < cut / History::RECORD_SIZE; ++sequence)
            whole.push_back(sequence);
        EXPECT_EQ(sequencesOf(contents), whole) << "cut at " << cut;
        EXPECT_EQ(contents.skippedSlots.size(), cut % History::RECORD_SIZE == 0 ? 0u : 1u) << "cut at " << cut;
        EXPECT_EQ(History::nextSequence(contents), whole.size()) << "the cut record is written again";
    }
}

// In a full ring the new record overwrites the oldest: cut after n of its
// bytes, the slot holds the new record's start and the old one's end. A
// slot is read only when it is the whole old or the whole new record.
TEST(History, power_cut_at_any_byte_of_an_overwrite_loses_only_that_slot)
{
    const Bytes old = storedRecords(2);
    History::Record newer = goldenRecord();
    newer.sequence = 2;
    uint8_t written[History::RECORD_SIZE];
    newer.pack(written);
    for (std::size_t cut = 0; cut <= History::RECORD_SIZE; ++cut) {
        Bytes file = old;
        std::copy(written, written + cut, file.begin());
        History::Contents contents = History::read(file.data(), file.size());
        bool stillOld = std::equal(file.begin(), file.begin() + History::RECORD_SIZE, old.begin());
        bool wholeNew = cut == History::RECORD_SIZE;
        std::vector<uint32_t> expected = stillOld   ? std::vector<uint32_t>{0, 1}
                                         : wholeNew ? std::vector<uint32_t>{1, 2}
                                                    : std::vector<uint32_t>{1};
        EXPECT_EQ(sequencesOf(contents), expected) << "cut at " << cut;
        EXPECT_EQ(contents.skippedSlots.size(), stillOld || wholeNew ? 0u : 1u) << "cut at " << cut;
    }
}

TEST(History, a_full_ring_keeps_the_newest_records)
{
    const std::string path = debugRoot() + History::PATH;
    std::filesystem::remove(path);
    InitMMBFirm::getInstance()->mmbId = 1;
    const uint32_t appended = History::CAPACITY + 44;
    for (uint32_t i = 0; i < appended; ++i)
        History::append(i % 2 == 0 ? History::START : History::MODE, History::FINAL);
    std::ifstream in(path, std::ios::binary);
    Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(file.size(), History::FILE_MAX_SIZE);
    History::Contents contents = History::read(file.data(), file.size());
    ASSERT_EQ(contents.records.size(), static_cast<std::size_t>(History::CAPACITY));
    EXPECT_TRUE(contents.skippedSlots.empty());
    EXPECT_EQ(contents.records.front().sequence, appended - History::CAPACITY);
    EXPECT_EQ(contents.records.back().sequence, appended - 1);
    EXPECT_EQ(contents.records.back().kind, History::MODE);
    EXPECT_EQ(contents.records.back().mmbId, 1);
}

} // namespace

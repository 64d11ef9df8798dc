#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "entries/finger_entry.h"
#include "support/program_fixture.h"

namespace {

class EntryListTest : public ::testing::Test {
protected:
    void SetUp() override { FetchDefaultEntryFont(); }
    void TearDown() override { FreeAllEntries(); }
};

// Walks the list both ways and checks every link and the count.
std::vector<std::string> Descriptions()
{
    std::vector<std::string> forward;
    const FingerEntry* last = nullptr;
    for (const FingerEntry* e = EntryList.head; e; e = e->next) {
        EXPECT_EQ(e->prev, last);
        forward.push_back(e->description);
        last = e;
    }
    EXPECT_EQ(EntryList.tail, last);
    EXPECT_EQ(forward.size(), EntryList.count);
    std::vector<std::string> backward;
    for (const FingerEntry* e = EntryList.tail; e; e = e->prev)
        backward.insert(backward.begin(), e->description);
    EXPECT_EQ(forward, backward);
    return forward;
}

FingerEntry* Find(const char* description)
{
    for (FingerEntry* e = EntryList.head; e; e = e->next)
        if (strcmp(e->description, description) == 0)
            return e;
    return nullptr;
}

TEST_F(EntryListTest, FreeingHeadTailMiddleAndTheOnlyEntryKeepsTheChain)
{
    for (const char* name : {"a", "b", "c", "d", "e"})
        AddTestEntry(name, "x@y");
    FreeFingerEntry(Find("a"));
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"b", "c", "d", "e"}));
    FreeFingerEntry(Find("e"));
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"b", "c", "d"}));
    FreeFingerEntry(Find("c"));
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"b", "d"}));
    AddTestEntry("f", "x@y");
    FreeFingerEntry(Find("d"));
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"b", "f"}));
    FreeFingerEntry(Find("b"));
    EXPECT_EQ(EntryList.head, EntryList.tail);
    FreeFingerEntry(Find("f"));
    EXPECT_EQ(EntryList.head, nullptr);
    EXPECT_EQ(EntryList.tail, nullptr);
    EXPECT_EQ(EntryList.count, 0u);
}

TEST_F(EntryListTest, AllocationCopiesThePrototypeAndIgnoresItsLinks)
{
    FingerEntry prototype;
    SetEntryDefaults(prototype);
    strcpy(prototype.description, "copy");
    prototype.prev = reinterpret_cast<FingerEntry*>(0x1234);
    prototype.next = reinterpret_cast<FingerEntry*>(0x5678);
    FingerEntry* entry = AllocateFingerEntry(prototype);
    ASSERT_NE(entry, nullptr);
    EXPECT_NE(entry, &prototype);
    EXPECT_EQ(entry->prev, nullptr);
    EXPECT_EQ(entry->next, nullptr);
    EXPECT_STREQ(entry->description, "copy");
    EXPECT_STREQ(prototype.description, "copy");
}

TEST_F(EntryListTest, DefaultsLeaveNothingOfWhatWasThere)
{
    AddTestEntry("first", "a@b");
    FingerEntry entry;
    memset(&entry, 0xAB, sizeof entry);
    SetEntryDefaults(entry);
    EXPECT_EQ(entry.flags, 0u);
    EXPECT_EQ(entry.fingerCount, 0u);
    EXPECT_EQ(entry.lastFingered, 0);
    EXPECT_STREQ(entry.iconFile, "");
    EXPECT_EQ(memcmp(&entry.font, &DefaultEntryFont, sizeof(LOGFONTA)), 0);
    EXPECT_STREQ(entry.monitorFile, "00000001.htm");
}

TEST_F(EntryListTest, MonitorNameIsTheSmallestFreeNumber)
{
    for (const char* name : {"0", "1", "2", "3", "4"})
        AddTestEntry(name, "x@y");
    EXPECT_STREQ(Find("0")->monitorFile, "00000000.htm");
    EXPECT_STREQ(Find("4")->monitorFile, "00000004.htm");
    FreeFingerEntry(Find("2"));
    FingerEntry* fresh = AddTestEntry("new", "x@y");
    EXPECT_STREQ(fresh->monitorFile, "00000002.htm");
    FingerEntry* next = AddTestEntry("next", "x@y");
    EXPECT_STREQ(next->monitorFile, "00000005.htm");
}

TEST_F(EntryListTest, MonitorNamesCompareWithoutCaseAndIgnoreOtherNames)
{
    FingerEntry* upper = AddTestEntry("upper", "x@y");
    strcpy(upper->monitorFile, "00000000.HTM");
    FingerEntry* odd = AddTestEntry("odd", "x@y");
    strcpy(odd->monitorFile, "1.htm");
    FingerEntry* distant = AddTestEntry("far", "x@y");
    strcpy(distant->monitorFile, "99999999.htm");
    FingerEntry candidate;
    SetEntryDefaults(candidate);
    EXPECT_STREQ(candidate.monitorFile, "00000001.htm");
}

TEST_F(EntryListTest, TemporaryEntriesCountAndAreTitledByAddress)
{
    FingerEntry* listed = AddTestEntry("Listed", "u@h");
    FingerEntry* temporary = AddTestEntry("", "quick@host", FE_TEMPORARY);
    EXPECT_EQ(EntryList.count, 2u);
    EXPECT_STREQ(EntryTitle(*listed), "Listed");
    EXPECT_STREQ(EntryTitle(*temporary), "quick@host");
}

FingerEntry SampleEntry()
{
    FingerEntry entry;
    memset(&entry, 0, sizeof entry);
    strcpy(entry.description, "Sample description");
    strcpy(entry.address, "user@relay@host.example");
    strcpy(entry.monitorFile, "00000042.htm");
    entry.flags = FE_AUTO_FINGER | FE_GROUP_2 | FE_LOG_OUTPUT;
    entry.period = PERIOD_DAYS;
    entry.interval = 7;
    entry.fingerCount = 123456;
    entry.lastFingered = 1765000000;
    entry.nextFinger = -5;
    entry.colour = 0x00112233;
    entry.points = 95;
    entry.font.lfHeight = -13;
    entry.font.lfWidth = 7;
    entry.font.lfEscapement = 1;
    entry.font.lfOrientation = 2;
    entry.font.lfWeight = 700;
    entry.font.lfItalic = 1;
    entry.font.lfUnderline = 1;
    entry.font.lfStrikeOut = 0;
    entry.font.lfCharSet = 204;
    entry.font.lfOutPrecision = 3;
    entry.font.lfClipPrecision = 2;
    entry.font.lfQuality = 1;
    entry.font.lfPitchAndFamily = 49;
    strcpy(entry.font.lfFaceName, "Courier New");
    entry.changed = 1;
    entry.outputStart = 100;
    entry.outputEnd = 250;
    strcpy(entry.iconFile, "C:\\icons\\finger.ico");
    entry.iconIndex = 3;
    return entry;
}

uint32_t WordAt(const unsigned char* image, int offset)
{
    uint32_t value;
    memcpy(&value, image + offset, 4);
    return value;
}

TEST(RecordImage, FieldsSitAtTheirOffsets)
{
    FingerEntry entry = SampleEntry();
    unsigned char image[ENTRY_RECORD_SIZE];
    EntryToRecordImage(entry, image);
    EXPECT_STREQ(reinterpret_cast<char*>(image), "Sample description");
    EXPECT_STREQ(reinterpret_cast<char*>(image + 128), "user@relay@host.example");
    EXPECT_STREQ(reinterpret_cast<char*>(image + 256), "00000042.htm");
    EXPECT_EQ(WordAt(image, 272), entry.flags);
    EXPECT_EQ(WordAt(image, 276), 2u);
    EXPECT_EQ(WordAt(image, 280), 7u);
    EXPECT_EQ(WordAt(image, 284), 123456u);
    EXPECT_EQ(WordAt(image, 288), 1765000000u);
    EXPECT_EQ(WordAt(image, 296), 0xFFFFFFFBu);
    EXPECT_EQ(WordAt(image, 304), 0x00112233u);
    EXPECT_EQ(WordAt(image, 308), 95u);
    EXPECT_EQ(static_cast<int32_t>(WordAt(image, 312)), -13);
    EXPECT_EQ(WordAt(image, 328), 700u);
    EXPECT_EQ(image[332], 1);
    EXPECT_EQ(image[335], 204);
    EXPECT_EQ(image[339], 49);
    EXPECT_STREQ(reinterpret_cast<char*>(image + 340), "Courier New");
    EXPECT_EQ(WordAt(image, 376), 1u);
    EXPECT_EQ(WordAt(image, 380), 100u);
    EXPECT_EQ(WordAt(image, 384), 250u);
    EXPECT_STREQ(reinterpret_cast<char*>(image + 388), "C:\\icons\\finger.ico");
    EXPECT_EQ(WordAt(image, 648), 3u);
}

TEST(RecordImage, RoundTripKeepsEveryField)
{
    FingerEntry entry = SampleEntry();
    unsigned char image[ENTRY_RECORD_SIZE];
    EntryToRecordImage(entry, image);
    FingerEntry back;
    memset(&back, 0xCC, sizeof back);
    EntryFromRecordImage(image, back);
    EXPECT_EQ(memcmp(&entry, &back, sizeof entry), 0);
}

TEST(RecordImage, TextFieldsWithoutTerminatorAreCutInsideTheirWidth)
{
    unsigned char image[ENTRY_RECORD_SIZE];
    memset(image, 'A', sizeof image);
    FingerEntry entry;
    EntryFromRecordImage(image, entry);
    EXPECT_EQ(strlen(entry.description), 127u);
    EXPECT_EQ(strlen(entry.address), 127u);
    EXPECT_EQ(strlen(entry.monitorFile), 15u);
    EXPECT_EQ(strlen(entry.font.lfFaceName), 31u);
    EXPECT_EQ(strlen(entry.iconFile), 259u);
    EXPECT_EQ(entry.prev, nullptr);
    EXPECT_EQ(entry.next, nullptr);
    EXPECT_EQ(entry.flags, 0x41414141u);
}

}

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "entries/finger_entry.h"
#include "support/program_fixture.h"

namespace {

// A record image read from a file may hold no NUL at all: every text field
// must still end inside its own width.
TEST(EntryRecordImage, TextFieldsAreAlwaysTerminated)
{
    unsigned char image[ENTRY_RECORD_SIZE];
    memset(image, 'A', sizeof image);
    FingerEntry entry;
    EntryFromRecordImage(image, entry);
    EXPECT_EQ(127u, strnlen(entry.description, sizeof entry.description));
    EXPECT_EQ(127u, strnlen(entry.address, sizeof entry.address));
    EXPECT_EQ(15u, strnlen(entry.monitorFile, sizeof entry.monitorFile));
    EXPECT_EQ(31u, strnlen(entry.font.lfFaceName, sizeof entry.font.lfFaceName));
    EXPECT_EQ(259u, strnlen(entry.iconFile, sizeof entry.iconFile));
    EXPECT_EQ(nullptr, entry.next);
}

// A new entry's monitor file takes the smallest number no listed entry uses;
// names of another form and the case of ".htm" do not matter.
TEST(MonitorFileName, TakesTheSmallestFreeNumber)
{
    const struct {
        std::vector<const char*> listed;
        const char* assigned;
    } cases[] = {
        {{}, "00000000.htm"},
        {{"00000000.htm", "00000001.htm", "00000003.htm"}, "00000002.htm"},
        {{"00000001.htm", "00000000.htm"}, "00000002.htm"},
        {{"00000000.HTM", "1.htm", "0000001.htm", "99999999.htm"}, "00000001.htm"},
    };
    for (const auto& c : cases) {
        for (const char* name : c.listed)
            snprintf(AddTestEntry("", "x@y")->monitorFile, MONITOR_NAME_SIZE, "%s", name);
        FingerEntry entry;
        SetEntryDefaults(entry);
        EXPECT_STREQ(c.assigned, entry.monitorFile) << c.listed.size() << " listed";
        FreeAllEntries();
    }
}

}

// The 32-bit and the 64-bit program store the same bytes: both builds compare
// what they write with one recorded image and read that image back, so each
// reads what the other wrote. The recorded images lie in tests/data.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "entries/finger_entry.h"
#include "entries/registry.h"
#include "entries/settings.h"
#include "support/program_fixture.h"
#include "support/registry_values.h"

namespace {

std::string Recorded(const char* name)
{
    return ReadWholeFile(std::string(OMBRELANE_TEST_DATA) + "/" + name);
}

// A mismatch leaves what this build wrote beside the test, to compare or record.
void ExpectRecorded(const char* name, const std::string& written)
{
    const std::string recorded = Recorded(name);
    EXPECT_TRUE(written == recorded) << name << " differs; this build's bytes are in " << name << ".actual";
    if (written != recorded)
        if (FILE* file = fopen((std::string(name) + ".actual").c_str(), "wb")) {
            fwrite(written.data(), 1, written.size(), file);
            fclose(file);
        }
}

// Every field set to a value of its own, so a moved or resized field shows.
FingerEntry SampleEntry(const char* description)
{
    FingerEntry entry{};
    snprintf(entry.description, sizeof entry.description, "%s", description);
    snprintf(entry.address, sizeof entry.address, "alice@relay@lab.example.org");
    snprintf(entry.monitorFile, sizeof entry.monitorFile, "00000042.htm");
    entry.flags = FE_AUTO_FINGER | FE_LOG_OUTPUT | FE_GROUP_MAIL | FE_GROUP_2;
    entry.period = PERIOD_HOURS;
    entry.interval = 7;
    entry.fingerCount = 1234567;
    entry.lastFingered = 1700000000;
    entry.nextFinger = 1700003600;
    entry.colour = 0x00336699;
    entry.points = 105;
    entry.font.lfHeight = -14;
    entry.font.lfWeight = FW_BOLD;
    entry.font.lfItalic = 1;
    entry.font.lfCharSet = ANSI_CHARSET;
    entry.font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    snprintf(entry.font.lfFaceName, sizeof entry.font.lfFaceName, "Courier New");
    entry.changed = 1;
    entry.outputStart = 100;
    entry.outputEnd = 2000;
    snprintf(entry.iconFile, sizeof entry.iconFile, "C:\\Icons\\lab.ico");
    entry.iconIndex = 3;
    return entry;
}

TEST(StoredFormats, EntryRecordImage)
{
    unsigned char image[ENTRY_RECORD_SIZE];
    EntryToRecordImage(SampleEntry("Alice at the lab"), image);
    ExpectRecorded("entry_record.bin", std::string(reinterpret_cast<char*>(image), sizeof image));

    const std::string recorded = Recorded("entry_record.bin");
    ASSERT_EQ(recorded.size(), sizeof image);
    FingerEntry read;
    EntryFromRecordImage(reinterpret_cast<const unsigned char*>(recorded.data()), read);
    unsigned char again[ENTRY_RECORD_SIZE];
    EntryToRecordImage(read, again);
    EXPECT_EQ(0, memcmp(again, recorded.data(), sizeof again));
}

// Every key and value below the program key, in a stable order, as text.
std::string ProgramKeyImage()
{
    std::string image;
    auto add = [&image](const std::string& below) {
        image += "[" + below + "]\n";
        for (const auto& [name, value] : AllValues(below)) {
            char head[32];
            snprintf(head, sizeof head, "=%lu:", static_cast<unsigned long>(value.type));
            image += name + head;
            for (unsigned char byte : value.bytes) {
                char hex[3];
                snprintf(hex, sizeof hex, "%02x", byte);
                image += hex;
            }
            image += "\n";
        }
    };
    add("");
    for (const std::string& profile : SubkeyNames(PROFILES_KEY_PATH))
        add("Profiles\\" + profile);
    return image;
}

TEST(StoredFormats, RegistryValues)
{
    DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
    FreeAllEntries();
    SetDefaultSettings();
    Settings.options = OPT_WELCOME_SHOWN | OPT_LOGGING | OPT_NETWORK | OptSortToggle(2);
    Settings.maxAllocSizeSaved = 131072;
    Settings.windowRect = {-8, 20, 1030, 790};
    Settings.toolbarCount = 3;
    Settings.SavedToolbarLayout[0] = 40001;
    Settings.SavedToolbarLayout[1] = -1;
    Settings.SavedToolbarLayout[2] = 40017;
    Settings.DisplaySplit = 6;
    snprintf(Settings.logFile, sizeof Settings.logFile, "D:\\Logs\\fingers.txt");
    snprintf(Settings.whoisServer, sizeof Settings.whoisServer, "whois.example.net");
    snprintf(Settings.groupNames[2], sizeof Settings.groupNames[2], "Friends");
    Settings.sortColumn = 3;
    Settings.listStyle = 1;
    for (int c = 0; c < LIST_COLUMNS; ++c)
        Settings.columnWidths[c] = 60 + 10 * c;
    Settings.networkTimeout = 90;
    AllocateFingerEntry(SampleEntry("Alice at the lab"));
    AllocateFingerEntry(SampleEntry("ALICE AT THE LAB"));
    Settings.saveAtExit = 1;
    RegistryErrors errors;
    SaveSettings(errors);
    ExpectRecorded("registry.txt", ProgramKeyImage());

    FreeAllEntries();
    SetDefaultSettings();
    ASSERT_EQ(0, LoadSettings(errors));
    DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
    Settings.saveAtExit = 1;
    SaveSettings(errors);
    EXPECT_EQ(Recorded("registry.txt"), ProgramKeyImage());
    EXPECT_TRUE(errors.empty());
    FreeAllEntries();
    DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
}

}

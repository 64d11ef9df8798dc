#include "bench_startup.h"

#include "bench_clock.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "entries/finger_entry.h"
#include "entries/registry.h"
#include "entries/settings.h"
#include "support/registry_values.h"

namespace {

constexpr uint32_t QUIET_OPTIONS = OPT_REMEMBER_POSITION | OPT_NETWORK | OPT_WELCOME_SHOWN;
constexpr int RUNS_PER_SIZE = 3;
constexpr DWORD RUN_LIMIT_MS = 300000;

// The settings of a user past the welcome and `count` entries as a save
// stores them.
bool SeedRegistry(int count)
{
    DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
    if (!PutWord("", "Options", QUIET_OPTIONS))
        return false;
    LOGFONTA font = {};
    GetObjectA(GetStockObject(SYSTEM_FONT), sizeof font, &font);
    for (int i = 0; i < count; ++i) {
        char key[32];
        snprintf(key, sizeof key, "Entry %05d", i);
        char address[64];
        snprintf(address, sizeof address, "user%d@127.0.0.2", i);
        char monitor[16];
        snprintf(monitor, sizeof monitor, "%08d.htm", i);
        ProfileSeed seed = NewProfile(key, address, monitor, i % 5 == 0 ? static_cast<uint32_t>(FE_GROUP_MAIL) : 0u);
        seed.fingerCount = static_cast<uint32_t>(i);
        seed.lastFingered = 1700000000 + i;
        seed.hasFont = true;
        seed.font = font;
        if (!SeedProfile(seed))
            return false;
    }
    return true;
}

std::string ParentFolder(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A fresh folder with a copy of the program from <build>\dist, so its
// Monitor folder lands there; empty when the program is not built.
std::string PrepareFolder()
{
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    const std::string program = ParentFolder(ParentFolder(std::string(module, length))) + "\\dist\\Ombrelane.exe";
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char folder[MAX_PATH];
    snprintf(folder, sizeof folder, "%sombrelane-bench-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(folder, nullptr);
    if (!CopyFileA(program.c_str(), (std::string(folder) + "\\Ombrelane.exe").c_str(), FALSE))
        return {};
    return folder;
}

void DeleteFolder(const std::string& folder)
{
    const std::string monitor = folder + "\\Monitor";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((monitor + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((monitor + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(monitor.c_str());
    DeleteFileA((folder + "\\Ombrelane.exe").c_str());
    RemoveDirectoryA(folder.c_str());
}

struct FindMain {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM parameter)
{
    auto* find = reinterpret_cast<FindMain*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (processId != find->processId || strcmp(className, "Ombrelane") != 0 || !IsWindowVisible(window))
        return TRUE;
    find->window = window;
    return FALSE;
}

// Seconds from the start of the process to the loop left and to its end;
// negative when not reached.
struct RunTimes {
    double loopLeft = -1;
    double ended = -1;
    DWORD exitCode = 0;
};

// Starts the program with "exitwhenidle" and watches it: the main window
// appears once start-up has shown it, and is destroyed first thing after the
// message loop is left at idle; the shutdown runs from there to the end of
// the process.
RunTimes TimeOneRun(const std::string& folder)
{
    RunTimes times;
    const std::string program = folder + "\\Ombrelane.exe";
    std::string commandLine = "\"" + program + "\" exitwhenidle";
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double start = Seconds();
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return times;
    HWND window = nullptr;
    while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
        if (Seconds() - start > RUN_LIMIT_MS / 1000.0) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 10000);
            break;
        }
        if (!window) {
            FindMain find = {process.dwProcessId, nullptr};
            EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&find));
            window = find.window;
        } else if (times.loopLeft < 0 && (!IsWindow(window) || !IsWindowVisible(window))) {
            times.loopLeft = Seconds() - start;
        }
    }
    times.ended = Seconds() - start;
    GetExitCodeProcess(process.hProcess, &times.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return times;
}

// One stored value as the bare loops carry it.
struct BareValue {
    std::string key;
    const char* name;
    DWORD type;
    std::vector<BYTE> bytes;
};

// What a save stores: the values of the program key and of every profile.
const char* const ProgramValueNames[] = {
    "Options", "MaxAllocSize", "Rect", "NumButtons", "Display Split", "Toolbar", "Log File",
    "Finger Entries Path", "WHOIS Server", "User Browser", "Output Path", "Batch1Name", "Batch2Name",
    "Batch3Name", "Last Column Sorted", "LV Style", "Col1cx", "Col2cx", "Col3cx", "Col4cx", "Col5cx",
    "Network Timeout"};
const char* const ProfileValueNames[] = {"Address", "Monitor Log", "Flags", "Icon Filename", "Icon Index",
                                         "NumFingers", "Colour", "Points", "Font", "Period", "Interval",
                                         "Last Fingered"};

template <size_t N>
void ReadBareValues(HKEY key, const std::string& keyName, const char* const (&names)[N],
                    std::vector<BareValue>& values)
{
    for (const char* name : names) {
        BYTE buffer[MAX_PATH];
        DWORD type = 0;
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(key, name, nullptr, &type, buffer, &size) == ERROR_SUCCESS)
            values.push_back({keyName, name, type, std::vector<BYTE>(buffer, buffer + size)});
    }
}

// Plain registry calls and no program code: every stored value read once,
// the profiles found by enumeration, each key opened once.
std::vector<BareValue> BareReadLoop()
{
    std::vector<BareValue> values;
    HKEY program;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, 0, KEY_READ, &program) != ERROR_SUCCESS)
        return values;
    ReadBareValues(program, "", ProgramValueNames, values);
    RegCloseKey(program);
    HKEY profiles;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PROFILES_KEY_PATH, 0, KEY_READ, &profiles) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(profiles, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY profile;
        if (RegOpenKeyExA(profiles, name, 0, KEY_READ, &profile) != ERROR_SUCCESS)
            continue;
        ReadBareValues(profile, name, ProfileValueNames, values);
        RegCloseKey(profile);
    }
    RegCloseKey(profiles);
    return values;
}

// Writes the values back as read, each key created once: the same keys,
// names, types and bytes.
void BareWriteLoop(const std::vector<BareValue>& values)
{
    HKEY program;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &program,
                        nullptr) != ERROR_SUCCESS)
        return;
    HKEY profiles = nullptr;
    HKEY key = program;
    const std::string* keyName = nullptr;
    for (const BareValue& value : values) {
        if (!keyName || value.key != *keyName) {
            if (key != program)
                RegCloseKey(key);
            key = program;
            if (!value.key.empty()) {
                if (!profiles)
                    RegCreateKeyExA(program, "Profiles", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &profiles, nullptr);
                RegCreateKeyExA(profiles, value.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
            }
            keyName = &value.key;
        }
        RegSetValueExA(key, value.name, 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
    }
    if (key != program)
        RegCloseKey(key);
    if (profiles)
        RegCloseKey(profiles);
    RegCloseKey(program);
}

double Best(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

// "NAME: VALUE UNIT (reference REF UNIT, ratio R)", for scripts to read.
void PrintFigure(const char* what, int entries, const std::vector<double>& values, double reference)
{
    if (std::find_if(values.begin(), values.end(), [](double v) { return v < 0; }) != values.end()) {
        printf("%s %d entries: not seen\n", what, entries);
        return;
    }
    const double best = Best(values);
    printf("%s %d entries: %.1f ms (reference %.1f ms, ratio %.2f)\n", what, entries, best * 1000.0,
           reference * 1000.0, reference > 0 ? best / reference : 0.0);
}

}

void StartupFigures()
{
    // The figures replace the stored settings and entries; never those of a
    // real user.
    HKEY existing;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PROGRAM_KEY_PATH, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
        RegCloseKey(existing);
        printf("start-up figures skipped: this Wine prefix holds Ombrelane settings (run in scripts/sandbox.sh)\n");
        return;
    }
    const std::string folder = PrepareFolder();
    if (folder.empty()) {
        printf("start-up figures skipped: the program is not built (dist\\Ombrelane.exe)\n");
        return;
    }
    const int sizes[] = {0, 1000, 10000};
    for (int entries : sizes) {
        double seeding = Seconds();
        if (!SeedRegistry(entries)) {
            printf("start-up figures skipped: the registry could not be written\n");
            break;
        }
        seeding = Seconds() - seeding;
        std::vector<double> idle, shutdown;
        bool failed = false;
        for (int run = 0; run < RUNS_PER_SIZE; ++run) {
            const RunTimes times = TimeOneRun(folder);
            if (times.exitCode != 0 || times.ended < 0) {
                printf("start-up with %d entries: the program ended with code %lu\n", entries, times.exitCode);
                failed = true;
                break;
            }
            idle.push_back(times.loopLeft);
            shutdown.push_back(times.loopLeft < 0 ? -1 : times.ended - times.loopLeft);
        }
        if (failed)
            continue;
        // The references run on what the program left, which is what it
        // read: the same keys and values.
        std::vector<double> reads, writes;
        for (int run = 0; run < RUNS_PER_SIZE; ++run) {
            double start = Seconds();
            const std::vector<BareValue> values = BareReadLoop();
            reads.push_back(Seconds() - start);
            start = Seconds();
            BareWriteLoop(values);
            writes.push_back(Seconds() - start);
        }
        printf("storing %d entries in the registry (bench set-up): %.0f ms\n", entries, seeding * 1000.0);
        PrintFigure("startup", entries, idle, Best(reads));
        PrintFigure("shutdown", entries, shutdown, Best(writes));
    }
    DeleteKeyTree(HKEY_CURRENT_USER, PROGRAM_KEY_PATH);
    DeleteFolder(folder);
}

#ifdef STARTUP_FIGURES_ONLY
// The start-up figures alone, for working on them: scripts/bench.sh startup.
int main()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    StartupFigures();
    return 0;
}
#endif

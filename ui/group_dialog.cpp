#include "ui/group_dialog.h"

#include <cstdio>

#include "entries/settings.h"
#include "resources/resource.h"
#include "ui/entry_list_view.h"

namespace {

// The check box of each group, in group order.
constexpr int GROUP_CONTROL_IDS[GROUP_COUNT] = {IDC_GROUP_MAIL, IDC_GROUP_STATUS, IDC_GROUP_1, IDC_GROUP_2,
                                                IDC_GROUP_3};

// How many of the entries concerned a group held when the dialog opened.
enum GroupState { GROUP_NONE = 0, GROUP_ALL = 1, GROUP_SOME = 2 };

struct GroupDialogState {
    FingerEntry* target;
    int entryCount;
    bool singleMode;
    GroupState initialState[GROUP_COUNT];
};

GroupDialogState groups;

// The group index the group name dialog renames; 0 while none is open.
int renamedGroup;

// Calls visit with the entry of every selected row of the entry list.
template <typename Visit>
void ForEachSelectedEntry(Visit visit)
{
    RowCursor row;
    for (int i = FirstSelectedRow(&row); i >= 0; i = NextSelectedRow(&row)) {
        if (row.lParam)
            visit(*reinterpret_cast<FingerEntry*>(row.lParam));
    }
}

GroupState InitialGroupState(uint32_t mask)
{
    if (groups.singleMode)
        return groups.target->flags & mask ? GROUP_ALL : GROUP_NONE;
    int members = 0;
    ForEachSelectedEntry([&](const FingerEntry& entry) { members += (entry.flags & mask) ? 1 : 0; });
    if (members == 0)
        return GROUP_NONE;
    return members == groups.entryCount ? GROUP_ALL : GROUP_SOME;
}

void SetAssignTitle(HWND dialog)
{
    char title[DESCRIPTION_SIZE + 32];
    if (groups.entryCount == 1) {
        const bool named = groups.target && groups.target->description[0] != '\0';
        snprintf(title, sizeof title, "Group Assignments for \"%s\"",
                 named ? groups.target->description : "(New Entry)");
    } else {
        snprintf(title, sizeof title, "Group Assignments for %d Entries", groups.entryCount);
    }
    SetWindowTextA(dialog, title);
}

void InitAssignDialog(HWND dialog)
{
    SetAssignTitle(dialog);
    constexpr UINT BOX_STATES[] = {BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE};
    for (int g = 0; g < GROUP_COUNT; ++g) {
        groups.initialState[g] = InitialGroupState(GroupMask(g));
        CheckDlgButton(dialog, GROUP_CONTROL_IDS[g], BOX_STATES[groups.initialState[g]]);
    }
}

// The mixed state means "leave every entry as it is", which only a group
// that was mixed to begin with can mean; the others skip it.
void OnGroupBoxClicked(HWND dialog, int group)
{
    const int id = GROUP_CONTROL_IDS[group];
    if (IsDlgButtonChecked(dialog, id) == BST_INDETERMINATE && groups.initialState[group] != GROUP_SOME)
        CheckDlgButton(dialog, id, BST_UNCHECKED);
}

void StoreGroups(HWND dialog)
{
    uint32_t join = 0;
    uint32_t leave = 0;
    for (int g = 0; g < GROUP_COUNT; ++g) {
        const UINT box = IsDlgButtonChecked(dialog, GROUP_CONTROL_IDS[g]);
        if (box == BST_CHECKED)
            join |= GroupMask(g);
        else if (box == BST_UNCHECKED)
            leave |= GroupMask(g);
    }
    if (groups.singleMode) {
        groups.target->flags = (groups.target->flags & ~leave) | join;
        return;
    }
    LockEntryList();
    ForEachSelectedEntry([&](FingerEntry& entry) { entry.flags = (entry.flags & ~leave) | join; });
    UnlockEntryList();
}

int GroupOfBox(int id)
{
    for (int g = 0; g < GROUP_COUNT; ++g) {
        if (GROUP_CONTROL_IDS[g] == id)
            return g;
    }
    return -1;
}

void OnAssignButton(HWND dialog, int id)
{
    switch (id) {
    case IDC_GROUP_1_NAME:
    case IDC_GROUP_2_NAME:
    case IDC_GROUP_3_NAME:
        RenameGroup(dialog, 2 + (id - IDC_GROUP_1_NAME));
        break;
    case IDC_GROUP_OK:
        StoreGroups(dialog);
        EndDialog(dialog, 0);
        break;
    case IDC_GROUP_CANCEL:
        EndDialog(dialog, 0);
        break;
    default:
        if (const int group = GroupOfBox(id); group >= 0)
            OnGroupBoxClicked(dialog, group);
        break;
    }
}

// Escape sends the standard cancel command, which neither group dialog
// handles; only Cancel and the close box leave without storing.
INT_PTR CALLBACK AssignProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitAssignDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnAssignButton(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

void InitNameDialog(HWND dialog)
{
    char title[32];
    snprintf(title, sizeof title, "Set Group %d Name", renamedGroup - 1);
    SetWindowTextA(dialog, title);
    SendDlgItemMessageA(dialog, IDC_GROUP_NAME_EDIT, EM_LIMITTEXT, GROUP_NAME_SIZE - 1, 0);
    SetDlgItemTextA(dialog, IDC_GROUP_NAME_EDIT, Settings.groupNames[renamedGroup]);
}

void StoreGroupName(HWND dialog)
{
    char* name = Settings.groupNames[renamedGroup];
    if (GetDlgItemTextA(dialog, IDC_GROUP_NAME_EDIT, name, GROUP_NAME_SIZE) == 0)
        snprintf(name, GROUP_NAME_SIZE, "Finger Group #%d", renamedGroup - 1);
}

void OnNameButton(HWND dialog, int id)
{
    switch (id) {
    case IDC_GROUP_NAME_OK:
        StoreGroupName(dialog);
        EndDialog(dialog, 0);
        break;
    case IDC_GROUP_NAME_CANCEL:
        EndDialog(dialog, 0);
        break;
    }
}

INT_PTR CALLBACK NameProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitNameDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            OnNameButton(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}

// A second call while the dialog runs would take over the state of the open
// one, whose target may live in its caller's frame; it does nothing.
void AssignGroups(HWND owner, FingerEntry* target, int entryCount, bool singleMode)
{
    static bool open;
    if (open)
        return;
    open = true;
    groups = {target, entryCount, singleMode, {}};
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_GROUP_ASSIGN), owner, AssignProcedure, 0);
    open = false;
    RedrawAllRows();
}

void RenameGroup(HWND owner, int group)
{
    // The Mail and Status groups keep their names.
    if (renamedGroup != 0 || group < 2 || group >= GROUP_COUNT)
        return;
    renamedGroup = group;
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_GROUP_NAME), owner, NameProcedure, 0);
    renamedGroup = 0;
    RedrawAllRows();
}

// Explorer's "What holds this? (Lumorex)" on the right-click menu of files,
// folders and drives: a verb per kind under Root's Software\Classes
// (HKEY_CURRENT_USER for this user, HKEY_LOCAL_MACHINE for every user) that
// starts the window on the item clicked.
#pragma once

#include "os/System.h"

// The running program's whole path; empty when the system cannot give it.
TWideString RunningProgram();
// Name in the folder of Program: the window beside the console program.
TWideString Beside(const TWideString& Program, const char* Name);

// What each verb runs: "Program" /file "%1".
TWideString ExplorerCommand(const TWideString& Program);
// Whether the three verbs are there and start Program.
bool HasExplorerMenu(HKEY Root, const TWideString& Program);
// Writes the three verbs to start Program, over any that start another copy;
// false, with none of them left, when a key could not be written.
bool AddExplorerMenu(HKEY Root, const TWideString& Program);
// Deletes the three verbs, and nothing else: the classes' own keys above
// them stay. False when one of them is still there.
bool RemoveExplorerMenu(HKEY Root);

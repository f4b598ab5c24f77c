#pragma once
// The program's help page, shown in a window of its own over the main window.

// Opens the page, or brings it forward when it is open already.
void ShowHelpWindow();

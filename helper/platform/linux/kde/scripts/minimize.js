// Minimizes the active window.
workspace.slotWindowMinimize();

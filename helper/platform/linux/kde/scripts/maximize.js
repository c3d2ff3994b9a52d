// Maximizes the active window, or restores it when it is maximized.
workspace.slotWindowMaximize();

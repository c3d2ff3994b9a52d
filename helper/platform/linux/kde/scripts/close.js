// Closes the active window, as its title bar button does.
workspace.slotWindowClose();

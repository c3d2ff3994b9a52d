// Minimizes every window that does not belong to the active window's process.
(function () {
    var active = workspace.activeWindow || workspace.activeClient;
    var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();
    for (var i = 0; i < windows.length; ++i) {
        var window = windows[i];
        if (window !== active && window.normalWindow && window.minimizable && !window.minimized &&
            (!active || window.pid !== active.pid)) {
            window.minimized = true;
        }
    }
})();

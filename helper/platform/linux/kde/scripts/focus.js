// Tells the helper which window is active: at load and at every activation.
// Plasma 6 names the signal windowActivated, Plasma 5 clientActivated.
// The helper loads a copy of this script with its own unique bus name in place
// of the mark below: a name that nobody else can own, now or later, so no
// other program of the session learns the windows by taking a name first.
function report(window) {
    callDBus("@HELPER_BUS_NAME@", "/org/obx/Helper/Desktop", "org.obx.Helper.Desktop1", "WindowActivated",
             window ? String(window.pid) : "0", window ? String(window.resourceClass) : "",
             window ? String(window.internalId) : "");
}

if (workspace.windowActivated) {
    workspace.windowActivated.connect(report);
    report(workspace.activeWindow);
} else {
    workspace.clientActivated.connect(report);
    report(workspace.activeClient);
}

// Tells the helper which window is active: at load and at every activation.
// Plasma 6 names the signal windowActivated, Plasma 5 clientActivated.
function report(window) {
    callDBus("org.obx.Helper", "/org/obx/Helper/Desktop", "org.obx.Helper.Desktop1", "WindowActivated",
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

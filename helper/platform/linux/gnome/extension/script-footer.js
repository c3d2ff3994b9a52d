
function init() {
    return new ShellBridge();
}


export default class ObxHelperExtension extends Extension {
    enable() {
        this._bridge = new ShellBridge();
        this._bridge.enable();
    }

    disable() {
        this._bridge.disable();
        this._bridge = null;
    }
}

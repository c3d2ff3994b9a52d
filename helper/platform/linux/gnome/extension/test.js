// The tests' build only: what the top bar and the snippet menu show, and a
// click on our icon's menu entry, for checks from outside the Shell (which
// refuses Eval). Open to every caller of the session bus; never installed.

const TEST_OBJECT_PATH = '/org/obx/ShellBridgeTest';
const TEST_INTERFACE = `
<node>
  <interface name="org.obx.ShellBridgeTest1">
    <method name="GetTrayIcons">
      <arg type="a(ssas)" direction="out" name="icons"/>
    </method>
    <method name="ChooseTrayEntry">
      <arg type="s" direction="in" name="label"/>
      <arg type="b" direction="out" name="chosen"/>
    </method>
    <method name="GetSnippetMenu">
      <arg type="b" direction="out" name="open"/>
      <arg type="i" direction="out" name="x"/>
      <arg type="i" direction="out" name="y"/>
      <arg type="i" direction="out" name="width"/>
      <arg type="i" direction="out" name="height"/>
      <arg type="i" direction="out" name="pointerX"/>
      <arg type="i" direction="out" name="pointerY"/>
      <arg type="as" direction="out" name="captions"/>
    </method>
    <method name="GetScreenSharingShown">
      <arg type="b" direction="out" name="shown"/>
    </method>
  </interface>
</node>`;

class TestInterface {
    constructor(bridge) {
        this._bridge = bridge;
    }

    GetTrayIcons() {
        return this._bridge._tray.icons();
    }

    ChooseTrayEntry(label) {
        return typeof label === 'string' && label.length <= TEXT_LENGTH_LIMIT && this._bridge._tray.chooseEntry(label);
    }

    GetSnippetMenu() {
        return this._bridge._snippetMenu.describe();
    }

    // The top bar's screen-sharing indicator, with its Stop button.
    GetScreenSharingShown() {
        return Main.panel.statusArea.screenSharing?.visible === true;
    }
}

function exportTestInterface(bridge) {
    const object = Gio.DBusExportedObject.wrapJSObject(TEST_INTERFACE, new TestInterface(bridge));
    object.export(Gio.DBus.session, TEST_OBJECT_PATH);
    return object;
}

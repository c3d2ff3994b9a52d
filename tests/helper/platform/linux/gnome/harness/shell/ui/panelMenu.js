// resource:///org/gnome/shell/ui/panelMenu.js: the top bar's button with its
// menu. Up to 49 its event handler toggles the menu on any press; from 50 a
// ClickGesture recognized on the press does (js/ui/panelMenu.js of each).
import * as PopupMenu from './popupMenu.js';

const {Clutter, St} = globalThis.obxHarness.gi;
const gesture = () => globalThis.obxHarness.versionTraits.panelClickGesture;

export class Button extends St.Widget {
    constructor(...args) {
        super({reactive: true});
        this._init(...args);
    }

    _init(menuAlignment, nameText, dontCreateMenu) {
        if (typeof menuAlignment !== 'number' || typeof nameText !== 'string')
            throw new Error('PanelMenu.Button takes a menu alignment and a name');
        if (gesture()) {
            this._clickGesture = new Clutter.ClickGesture();
            this._clickGesture.set_recognize_on_press(true);
            this._clickGesture.connect('recognize', () => this.menu?.toggle());
            this._clickGesture.set_enabled(!dontCreateMenu);
            this.add_action(this._clickGesture);
        }
        this.menu = dontCreateMenu ? null : new PopupMenu.PopupMenu(this, menuAlignment, St.Side.TOP);
    }

    vfunc_event(event) {
        if (!gesture() && this.menu && (event.type() === Clutter.EventType.TOUCH_BEGIN ||
            event.type() === Clutter.EventType.BUTTON_PRESS))
            this.menu.toggle();
        return Clutter.EVENT_PROPAGATE;
    }
}

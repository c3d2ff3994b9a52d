// A stand-in of St: widgets are Clutter actors.
import Clutter from './Clutter.js';

export class Widget extends Clutter.Actor {}
export class Icon extends Clutter.Actor {}
export class Label extends Clutter.Actor {
    set_style(style) {
        this.style = style;
    }
}
export const Side = {TOP: 0, RIGHT: 1, BOTTOM: 2, LEFT: 3};

export default {Widget, Icon, Label, Side};

// A stand-in of Clutter: actors that keep their children and actions, events,
// click gestures, a seat whose virtual devices record what they were told.
import {current, takes} from '../versions.js';

const EventType = {BUTTON_PRESS: 7, BUTTON_RELEASE: 8, TOUCH_BEGIN: 13};
const KeyState = {RELEASED: 0, PRESSED: 1};
const ButtonState = {RELEASED: 0, PRESSED: 1};
const InputDeviceType = {POINTER_DEVICE: 0, KEYBOARD_DEVICE: 1};

export class Actor {
    constructor(params = {}) {
        Object.assign(this, params);
        this.children = [];
        this.actions = [];
        this.destroyed = false;
        this.visible = true;
        this._handlers = new Map();
        if (current().addActor)
            this.add_actor = child => this.add_child(child);
    }

    add_child(...args) {
        takes('Clutter.Actor.add_child', 1, args);
        this.children.push(args[0]);
    }

    add_action(...args) {
        takes('Clutter.Actor.add_action', 1, args);
        this.actions.push(args[0]);
    }

    connect(signal, handler) {
        this._handlers.set(signal, [...this._handlers.get(signal) ?? [], handler]);
        return this._handlers.size;
    }

    emit(signal, ...args) {
        for (const handler of this._handlers.get(signal) ?? [])
            handler(this, ...args);
    }

    vfunc_event(_event) {
        return EVENT_PROPAGATE;
    }

    show() {
        this.visible = true;
    }

    hide() {
        this.visible = false;
    }

    destroy() {
        this.destroyed = true;
        this.emit('destroy');
    }
}

export class Event {
    constructor(type, button, x, y) {
        Object.assign(this, {_type: type, _button: button, _x: x, _y: y});
    }

    type() {
        return this._type;
    }

    get_button() {
        return this._button;
    }

    get_coords() {
        return [this._x, this._y];
    }
}

export class ClickGesture {
    constructor() {
        this.enabled = true;
        this.recognizeOnPress = false;
        this.requiredButton = 0;
        this._handlers = [];
        this._coords = {x: 0, y: 0};
    }

    set_recognize_on_press(...args) {
        takes('Clutter.ClickGesture.set_recognize_on_press', 1, args);
        this.recognizeOnPress = args[0];
    }

    set_required_button(...args) {
        takes('Clutter.PressGesture.set_required_button', 1, args);
        this.requiredButton = args[0];
    }

    set_enabled(...args) {
        takes('Clutter.ActorMeta.set_enabled', 1, args);
        this.enabled = args[0];
    }

    get_coords_abs(...args) {
        takes('Clutter.PressGesture.get_coords_abs', 0, args);
        return this._coords;
    }

    connect(signal, handler) {
        if (signal !== 'recognize')
            throw new Error(`ClickGesture has no signal ${signal} in this stand-in`);
        this._handlers.push(handler);
        return this._handlers.length;
    }

    // A press of the button at the point: recognized on the press when the
    // gesture takes that button.
    press(event) {
        if (!this.enabled || !this.recognizeOnPress ||
            (this.requiredButton !== 0 && this.requiredButton !== event.get_button()))
            return;
        const [x, y] = event.get_coords();
        this._coords = {x, y};
        for (const handler of this._handlers)
            handler(this);
    }
}

// A press as the stage delivers it to an actor (clutter-sprite.c): the
// actor's bubble-phase actions first, then the actor itself.
export function press(actor, button, x = 10, y = 5) {
    const event = new Event(EventType.BUTTON_PRESS, button, x, y);
    if (current().panelClickGesture) {
        for (const action of actor.actions)
            action.press(event);
    }
    actor.vfunc_event(event);
}

class VirtualDevice {
    constructor(type) {
        this.type = type;
        this.disposed = false;
        globalThis.obxHarness.devices.push(this);
        this.events = [];
    }

    notify_keyval(...args) {
        takes('Clutter.VirtualInputDevice.notify_keyval', 3, args);
        this.events.push(['key', args[1], args[2]]);
    }

    notify_button(...args) {
        takes('Clutter.VirtualInputDevice.notify_button', 3, args);
        this.events.push(['button', args[1], args[2]]);
    }

    run_dispose() {
        this.disposed = true;
    }
}

const seat = {
    create_virtual_device(...args) {
        takes('Clutter.Seat.create_virtual_device', 1, args);
        return new VirtualDevice(args[0]);
    },
};

export function get_default_backend() {
    return {get_default_seat: () => seat};
}

export function get_current_event() {
    return null;
}

export const EVENT_STOP = true;
export const EVENT_PROPAGATE = false;
export const BUTTON_PRIMARY = 1;
export const BUTTON_MIDDLE = 2;
export const BUTTON_SECONDARY = 3;

export default {
    Actor, ClickGesture, Event, EventType, KeyState, ButtonState, InputDeviceType, EVENT_STOP, EVENT_PROPAGATE,
    BUTTON_PRIMARY, BUTTON_MIDDLE, BUTTON_SECONDARY, get_default_backend, get_current_event,
};

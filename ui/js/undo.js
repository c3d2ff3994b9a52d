// The page's last saved changes, to be taken back while it is open. Whoever
// saves a change records how to take it back; taking it back saves through the
// same shared path (api.js `save`), so a change made elsewhere meanwhile is not
// overwritten by an undo either.

const LIMIT = 20;
const entries = [];
const listeners = [];

function changed() {
    listeners.forEach((listener) => listener(entries.at(-1)?.description ?? null));
}

// description: what the change did, in words ("Pointer speed 50 → 70");
// takeBack: an async function that saves the state from before the change.
export function record(description, takeBack) {
    entries.push({ description, takeBack });
    if (entries.length > LIMIT) entries.shift();
    changed();
}

// Takes back the newest change. One that fails stays, to be tried again (after
// a reload, when the settings changed elsewhere). Returns what was undone.
export async function undoLast() {
    const entry = entries.pop();
    if (!entry) return null;
    changed();
    try {
        await entry.takeBack();
    } catch (error) {
        entries.push(entry);
        changed();
        throw error;
    }
    return entry.description;
}

// listener(description of the newest change, or null when there is none).
export function onUndoChange(listener) {
    listeners.push(listener);
}

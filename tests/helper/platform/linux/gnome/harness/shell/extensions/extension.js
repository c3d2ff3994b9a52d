// resource:///org/gnome/shell/extensions/extension.js: the base class of an
// extension's default export, made with the extension's metadata.
export class Extension {
    constructor(metadata) {
        if (!metadata?.uuid || !metadata.dir)
            throw new Error('Extension: made without its metadata');
        this.metadata = metadata;
        this.uuid = metadata.uuid;
        this.path = metadata.path;
    }
}

// GObject as it is, except that the stand-ins' classes are plain JavaScript
// classes: registering one returns it unchanged.
import GObject from 'gi://GObject';

function registerClass(...args) {
    const klass = args[args.length - 1];
    return klass.prototype instanceof GObject.Object ? GObject.registerClass(...args) : klass;
}

export default new Proxy(GObject, {get: (real, name) => name === 'registerClass' ? registerClass : real[name]});

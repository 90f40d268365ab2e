// The lifecycle calls that the transport fans out to its parts. Each is optional: the defaults do
// nothing, and a part overrides only what it reacts to.
#pragma once

class TTRApplicationProtocol;

class TTRLifecycleProtocol {
public:
    virtual ~TTRLifecycleProtocol() = default;
    virtual void appWillBackground(TTRApplicationProtocol& application) { (void)application; }
    virtual void appWillForeground(TTRApplicationProtocol& application) { (void)application; }
    virtual void appWillTerminate(TTRApplicationProtocol& application) { (void)application; }
};

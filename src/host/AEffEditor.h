#pragma once

#include "host/Vst2.h"

namespace tarvo {

/// An editor window as the dispatcher's editor opcodes see it. Tarvo has no
/// editor of its own (the host shows its generic parameter window), so no
/// instance ever sets one; the interface keeps the framework's editor
/// opcodes routable. The answers below are those of an editor that supports
/// nothing.
class AEffEditor {
public:
    virtual ~AEffEditor() = default;

    /// Stores the editor's rectangle in *rect (effEditGetRect).
    virtual bool getRect(ERect** /*rect*/) { return false; }
    /// Opens the editor inside the host's window (effEditOpen).
    virtual bool open(void* /*window*/) { return false; }
    virtual void close() {}
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onKeyUp(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool setKnobMode(VstInt32 /*mode*/) { return false; }
};

}  // namespace tarvo

// The frame window's OLE drop target: accepts plain text and file lists
// (shell shortcuts resolved to their targets) and hands them to the frame.
#pragma once

#include <ole2.h>
#include <windows.h>

namespace klv::gui {
class Frame;
}

namespace klv::gui::win32 {

// COM object: its life is its reference count (0 after construction; the
// registration with OLE holds one, and so does the window port while it is
// registered). The port detaches it from the frame before the frame goes,
// so a drag still in flight afterwards ends as if it had left.
class DropTarget : public IDropTarget {
public:
    explicit DropTarget(Frame* frame) : frame_(frame) {}

    void detach() { frame_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL where, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL where, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL where, DWORD* effect) override;

private:
    virtual ~DropTarget() = default;

    // The frame took the text (kind 1) or the file list (kind 0).
    bool dropText(HGLOBAL memory);
    bool dropFiles(HDROP files);

    LONG refCount_ = 0;
    bool accept_ = false;
    Frame* frame_;
};

}  // namespace klv::gui::win32

#include "gui/win32/ole_drop_target.h"

#include <shellapi.h>
#include <shlobj.h>

#include "gui/drop_target.h"
#include "gui/frame.h"

namespace klv::gui::win32 {

namespace {

static_assert(kDropEffectNone == DROPEFFECT_NONE && kDropEffectCopy == DROPEFFECT_COPY &&
                  kDropEffectMove == DROPEFFECT_MOVE && kDropKeyControl == MK_CONTROL,
              "drop effects as OLE numbers them");

// Dropped names are read into buffers of this size; shortcut targets into
// twice that.
constexpr UINT kNameBytes = 1024;
constexpr int kTargetBytes = 2048;
// Resolve without user interface, accepting any match, giving up after
// 500 ms (the time-out sits in the flags' high word).
const DWORD kResolveFlags = static_cast<DWORD>(SLR_NO_UI) | static_cast<DWORD>(SLR_ANY_MATCH) | (500u << 16);

FORMATETC formatOf(CLIPFORMAT format) {
    return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

bool offers(IDataObject* data, CLIPFORMAT format) {
    FORMATETC wanted = formatOf(format);
    return data && data->QueryGetData(&wanted) == S_OK;
}

// The path a shell shortcut points to, into target; false when the
// shortcut cannot be loaded or resolved.
bool resolveShortcut(const char* name, char* target, int targetSize) {
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    bool resolved = false;
    IPersistFile* file = nullptr;
    WCHAR wideName[kNameBytes];
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, kNameBytes) > 0 &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        target[0] = '\0';
        resolved = SUCCEEDED(file->Load(wideName, STGM_READ)) && SUCCEEDED(link->Resolve(nullptr, kResolveFlags)) &&
                   link->GetPath(target, targetSize, nullptr, SLGP_SHORTPATH) == S_OK && target[0] != '\0';
        file->Release();
    }
    link->Release();
    return resolved;
}

}  // namespace

HRESULT STDMETHODCALLTYPE DropTarget::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DropTarget::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

ULONG STDMETHODCALLTYPE DropTarget::Release() {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE DropTarget::DragEnter(IDataObject* data, DWORD keyState, POINTL where, DWORD* effect) {
    accept_ = frame_ && (offers(data, CF_TEXT) || offers(data, CF_HDROP));
    return DragOver(keyState, where, effect);
}

HRESULT STDMETHODCALLTYPE DropTarget::DragOver(DWORD keyState, POINTL, DWORD* effect) {
    if (effect) *effect = dropEffectFor(accept_, keyState);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragLeave() {
    return S_OK;
}

// The effect reported back is none unless a view took the drop: a source
// told "move" for a drop nobody used might delete what it dragged.
HRESULT STDMETHODCALLTYPE DropTarget::Drop(IDataObject* data, DWORD keyState, POINTL, DWORD* effect) {
    bool taken = false;
    if (data && frame_) {
        FORMATETC wanted = formatOf(CF_TEXT);
        STGMEDIUM medium{};
        if (data->GetData(&wanted, &medium) == S_OK) {
            taken = dropText(medium.hGlobal);
            ReleaseStgMedium(&medium);
        } else {
            wanted = formatOf(CF_HDROP);
            if (data->GetData(&wanted, &medium) == S_OK) {
                taken = dropFiles(static_cast<HDROP>(medium.hGlobal));
                ReleaseStgMedium(&medium);
            }
        }
    }
    if (effect) *effect = dropEffectFor(taken, keyState);
    return S_OK;
}

bool DropTarget::dropText(HGLOBAL memory) {
    void* text = memory ? GlobalLock(memory) : nullptr;
    if (!text) return false;
    const SIZE_T size = GlobalSize(memory);
    bool taken = false;
    if (size != 0) {
        void* items[1] = {text};
        taken = frame_->dropped(items, static_cast<long>(size), kDropText);
    }
    GlobalUnlock(memory);
    return taken;
}

bool DropTarget::dropFiles(HDROP files) {
    if (!files) return false;
    const UINT count = DragQueryFileA(files, 0xFFFFFFFFu, nullptr, 0);
    DroppedNames names(static_cast<long>(count));
    for (UINT i = 0; i < count; ++i) {
        char name[kNameBytes];
        if (DragQueryFileA(files, i, name, kNameBytes) == 0) continue;
        char target[kTargetBytes];
        if (isShortcutName(name) && resolveShortcut(name, target, kTargetBytes))
            names.add(target, sizeof target);
        else
            names.add(name, sizeof name);
    }
    if (names.count() == 0) return false;
    return frame_->dropped(names.items(), names.count(), kDropFiles);
}

}  // namespace klv::gui::win32

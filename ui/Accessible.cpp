#include "ui/Accessible.h"

#include <oleacc.h>

#include "system/Handles.h"

namespace tidora {
namespace {

// mingw's liboleacc.a exports IID_IAccessible as a code stub, not the GUID;
// the header's declaration carries the right one.
const IID& AccessibleIID() {
    return __uuidof(IAccessible);
}

bool IsSelf(const VARIANT& Child) {
    return Child.vt == VT_I4 && Child.lVal == CHILDID_SELF;
}

// The control's answers over the system's object for the same window.
class TAccessibleObject final : public IAccessible {
public:
    TAccessibleObject(HWND Window, TAccessibleQuery Query, IAccessible* System)
        : FWindow(Window), FQuery(Query), FSystem(System) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Id, void** Object) override {
        if (!Object) return E_POINTER;
        if (Id == IID_IUnknown || Id == IID_IDispatch || Id == AccessibleIID()) {
            *Object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG refs = InterlockedDecrement(&FRefs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override { return FSystem.get()->GetTypeInfoCount(Count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT Index, LCID Locale, ITypeInfo** Info) override {
        return FSystem.get()->GetTypeInfo(Index, Locale, Info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID Id, LPOLESTR* Names, UINT Count, LCID Locale,
                                            DISPID* Ids) override {
        return FSystem.get()->GetIDsOfNames(Id, Names, Count, Locale, Ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID Member, REFIID Id, LCID Locale, WORD Flags, DISPPARAMS* Params,
                                     VARIANT* Result, EXCEPINFO* Exception, UINT* ArgError) override {
        return FSystem.get()->Invoke(Member, Id, Locale, Flags, Params, Result, Exception, ArgError);
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** Parent) override { return FSystem.get()->get_accParent(Parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* Count) override { return FSystem.get()->get_accChildCount(Count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT Child, IDispatch** Object) override {
        return FSystem.get()->get_accChild(Child, Object);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT Child, BSTR* Name) override {
        return Text(Child, Name, &TAccessibleInfo::Name, &IAccessible::get_accName);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT Child, BSTR* Value) override {
        return FSystem.get()->get_accValue(Child, Value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT Child, BSTR* Description) override {
        return Text(Child, Description, &TAccessibleInfo::Description, &IAccessible::get_accDescription);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT Child, VARIANT* Role) override {
        return Number(Child, Role, &TAccessibleInfo::Role, &IAccessible::get_accRole);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT Child, VARIANT* State) override {
        return Number(Child, State, &TAccessibleInfo::State, &IAccessible::get_accState);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT Child, BSTR* Help) override { return FSystem.get()->get_accHelp(Child, Help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* File, VARIANT Child, long* Topic) override {
        return FSystem.get()->get_accHelpTopic(File, Child, Topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT Child, BSTR* Shortcut) override {
        return FSystem.get()->get_accKeyboardShortcut(Child, Shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* Child) override { return FSystem.get()->get_accFocus(Child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* Children) override {
        return FSystem.get()->get_accSelection(Children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT Child, BSTR* Action) override {
        return Text(Child, Action, &TAccessibleInfo::DefaultAction, &IAccessible::get_accDefaultAction);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long Flags, VARIANT Child) override { return FSystem.get()->accSelect(Flags, Child); }
    HRESULT STDMETHODCALLTYPE accLocation(long* Left, long* Top, long* Width, long* Height, VARIANT Child) override {
        return FSystem.get()->accLocation(Left, Top, Width, Height, Child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long Direction, VARIANT Start, VARIANT* End) override {
        return FSystem.get()->accNavigate(Direction, Start, End);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long Left, long Top, VARIANT* Child) override {
        return FSystem.get()->accHitTest(Left, Top, Child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT Child) override {
        if (!IsSelf(Child)) return FSystem.get()->accDoDefaultAction(Child);
        TAccessibleInfo info;
        if (!FQuery(FWindow, info)) return CO_E_OBJNOTCONNECTED;
        if (info.DefaultAction.empty()) return DISP_E_MEMBERNOTFOUND;
        return PostMessageW(FWindow, WM_ACCESSIBLEACTION, 0, 0) ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    using TextGetter = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);
    using NumberGetter = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, VARIANT*);

    HRESULT Text(const VARIANT& Child, BSTR* Out, std::wstring TAccessibleInfo::*Field, TextGetter System) {
        if (!Out) return E_POINTER;
        if (!IsSelf(Child)) return (FSystem.get()->*System)(Child, Out);
        *Out = nullptr;
        TAccessibleInfo info;
        if (!FQuery(FWindow, info)) return CO_E_OBJNOTCONNECTED;
        const std::wstring& text = info.*Field;
        if (text.empty()) return S_FALSE;
        *Out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *Out ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT Number(const VARIANT& Child, VARIANT* Out, long TAccessibleInfo::*Field, NumberGetter System) {
        if (!Out) return E_POINTER;
        if (!IsSelf(Child)) return (FSystem.get()->*System)(Child, Out);
        VariantInit(Out);
        TAccessibleInfo info;
        if (!FQuery(FWindow, info)) return CO_E_OBJNOTCONNECTED;
        Out->vt = VT_I4;
        Out->lVal = info.*Field;
        return S_OK;
    }

    LONG FRefs = 1;
    HWND FWindow;
    TAccessibleQuery FQuery;
    ComPtr<IAccessible> FSystem;
};

} // namespace

const wchar_t* const kActionPress = L"Press";
const wchar_t* const kActionCheck = L"Check";
const wchar_t* const kActionUncheck = L"Uncheck";
const wchar_t* const kActionJump = L"Jump";

LRESULT AnswerGetObject(HWND Window, WPARAM Flags, TAccessibleQuery Query) {
    IAccessible* system = nullptr;
    if (FAILED(CreateStdAccessibleObject(Window, OBJID_CLIENT, AccessibleIID(), reinterpret_cast<void**>(&system))) ||
        !system)
        return 0;
    auto* object = new TAccessibleObject(Window, Query, system);
    const LRESULT result = LresultFromObject(AccessibleIID(), Flags, object);
    object->Release();
    return result > 0 ? result : 0;
}

void NotifyStateChange(HWND Window) {
    if (Window) NotifyWinEvent(EVENT_OBJECT_STATECHANGE, Window, OBJID_CLIENT, CHILDID_SELF);
}

long WindowAccessibleState(HWND Window) {
    long state = 0;
    if (!IsWindowVisible(Window)) state |= STATE_SYSTEM_INVISIBLE;
    if (!IsWindowEnabled(Window)) {
        state |= STATE_SYSTEM_UNAVAILABLE;
    } else if (GetWindowLongW(Window, GWL_STYLE) & WS_TABSTOP) {
        state |= STATE_SYSTEM_FOCUSABLE;
        if (GetFocus() == Window) state |= STATE_SYSTEM_FOCUSED;
    }
    return state;
}

} // namespace tidora

#include "hw_board.h"

#include <windows.h>
#include <wbemidl.h>

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "com_owners.h"
#include "property_text.h"

namespace {

// Abstract classes whose instances the instrumentation files under a subclass:
// a deep enumeration finds them on Windows, but some implementations (Wine's)
// answer only for the subclass itself.
struct StandIn {
    const wchar_t *className;
    const wchar_t *subclassName;
};
const StandIn kStandIns[] = {
    {L"CIM_Chassis", L"Win32_SystemEnclosure"},
};

const wchar_t *StandInFor(const wchar_t *className) {
    for (const StandIn &standIn : kStandIns) {
        if (_wcsicmp(standIn.className, className) == 0) return standIn.subclassName;
    }
    return nullptr;
}

const long kAnswerTimeoutMs = 60000;

void SetQueryBlanket(IUnknown *proxy) {
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

// A property as the instrumentation hands it over.
struct PropertyValue {
    PropertyValue() { VariantInit(&variant); }
    ~PropertyValue() { VariantClear(&variant); }
    PropertyValue(const PropertyValue &) = delete;
    PropertyValue &operator=(const PropertyValue &) = delete;
    VARIANT variant;
    CIMTYPE cimType = CIM_EMPTY;
};

}  // namespace

struct CHwBoard::Session {
    bool comStarted = false;
    ComPtr<IWbemServices> services;
    HRESULT connectFailure = S_OK;

    struct Answer {
        std::wstring className;
        ComPtr<IWbemClassObject> instance;  // null: the class has no instance
        HRESULT failure = S_OK;
    };
    std::vector<Answer> answers;

    Session() {
        HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // Already started in the caller's own mode is as good.
        comStarted = SUCCEEDED(started);
        if (FAILED(started) && started != RPC_E_CHANGED_MODE) {
            connectFailure = started;
            return;
        }
        // Process-wide, and refused once the process has set its own: either way
        // the blanket on each proxy below is what the queries use.
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                             nullptr, EOAC_NONE, nullptr);
        ComPtr<IWbemLocator> locator;
        connectFailure = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                          reinterpret_cast<void **>(locator.Receive()));
        if (FAILED(connectFailure)) return;
        ComBstr space(L"ROOT\\CIMV2");
        connectFailure =
            locator->ConnectServer(space.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Receive());
        if (FAILED(connectFailure)) {
            services.Reset();
            return;
        }
        SetQueryBlanket(services.Get());
    }

    ~Session() {
        answers.clear();
        services.Reset();
        if (comStarted) CoUninitialize();
    }

    // The first instance of the class, asked of the instrumentation the first
    // time only.
    const Answer &Ask(const wchar_t *className) {
        for (const Answer &answer : answers) {
            if (_wcsicmp(answer.className.c_str(), className) == 0) return answer;
        }
        Answer answer;
        answer.className = className;
        answer.failure = FirstInstance(className, answer.instance);
        if (!answer.instance) {
            if (const wchar_t *subclass = StandInFor(className)) {
                const Answer &standIn = Ask(subclass);
                answer.instance = standIn.instance;
                answer.failure = standIn.failure;
            }
        }
        answers.push_back(std::move(answer));
        return answers.back();
    }

    HRESULT Get(const wchar_t *className, const wchar_t *propertyName, PropertyValue &value) {
        const Answer &answer = Ask(className);
        if (!answer.instance) return FAILED(answer.failure) ? answer.failure : static_cast<HRESULT>(WBEM_E_NOT_FOUND);
        return answer.instance->Get(propertyName, 0, &value.variant, &value.cimType, nullptr);
    }

    HRESULT FirstInstance(const wchar_t *className, ComPtr<IWbemClassObject> &instance) {
        if (!services) return FAILED(connectFailure) ? connectFailure : E_FAIL;
        ComBstr name(className);
        ComPtr<IEnumWbemClassObject> instances;
        HRESULT result = services->CreateInstanceEnum(name.Get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                                      nullptr, instances.Receive());
        if (FAILED(result)) return result;
        SetQueryBlanket(instances.Get());
        ULONG returned = 0;
        // A service that never answers must not hold an unattended run: no answer
        // in time counts as no instance.
        result = instances->Next(kAnswerTimeoutMs, 1, instance.Receive(), &returned);
        if (FAILED(result)) return result;
        if (returned == 0 || !instance) {
            instance.Reset();
            return WBEM_E_NOT_FOUND;
        }
        return S_OK;
    }
};

CHwBoard::CHwBoard() : session_(new (std::nothrow) Session) {}

CHwBoard::~CHwBoard() { delete session_; }

long CHwBoard::GetBoardProperty(const wchar_t *className, const wchar_t *propertyName, wchar_t *out) {
    if (out) out[0] = L'\0';
    if (!className || !propertyName || !out) return E_POINTER;
    if (!session_) return E_OUTOFMEMORY;
    // Nothing is thrown across the library's edge: the caller may have no handler.
    try {
        PropertyValue value;
        HRESULT result = session_->Get(className, propertyName, value);
        if (FAILED(result)) return result;
        std::wstring textValue;
        if (!RenderPropertyValue(value.variant, value.cimType, textValue)) return WBEM_E_TYPE_MISMATCH;
        CopyCut(out, PropertyBufferCapacity(propertyName), textValue);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

long CHwBoard::GetBoardChassisType(unsigned long *chassisType) {
    if (!chassisType) return E_POINTER;
    if (!session_) return E_OUTOFMEMORY;
    try {
        PropertyValue value;
        HRESULT result = session_->Get(L"Win32_SystemEnclosure", L"ChassisTypes", value);
        if (FAILED(result)) return result;
        unsigned long first = 0;
        if (!FirstWholeNumber(value.variant, value.cimType, first)) return WBEM_E_NOT_FOUND;
        *chassisType = first;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

// vorn-com-manager: the cell manager's Manager Server document for Windows,
// played by a COM local server of its own for tests and the demo. It answers
// CreateView and SetViewXMLData through IDispatch and appends every call it
// receives to a file, in UTF-8:
//
//   CreateView <TAB> name <TAB> caption <TAB> kind <LF>
//   SetViewXMLData <TAB> view name <TAB> byte count of the text <LF> text <LF>
//
// It registers for the current user only (HKCU\Software\Classes), never for
// the machine:
//
//   vorn-com-manager --register --log FILE   the class, started with that file
//   vorn-com-manager --unregister
//
// COM starts it with "-Embedding" when a client creates the document; it ends
// when the last document is released.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// {6E0C1B2A-5D3F-4F0B-9C1E-7A4B2D8E9F10}
const CLSID DocumentClsid = {0x6e0c1b2a, 0x5d3f, 0x4f0b, {0x9c, 0x1e, 0x7a, 0x4b, 0x2d, 0x8e, 0x9f, 0x10}};
const wchar_t ProgId[] = L"ManagerServer.Document";
const wchar_t ClassesKey[] = L"Software\\Classes\\";

enum : DISPID { CreateViewId = 1, SetViewXmlDataId = 2 };

std::wstring logFile;
CRITICAL_SECTION logLock;
std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};
HANDLE finished = nullptr;

void objectGone()
{
    if (--liveObjects == 0 && serverLocks == 0)
        SetEvent(finished);
}

std::string utf8(const wchar_t *text, UINT length)
{
    if (length == 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, int(length), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::string utf8(BSTR text)
{
    return utf8(text, SysStringLen(text));
}

void append(const std::string &bytes)
{
    EnterCriticalSection(&logLock);
    if (FILE *file = _wfopen(logFile.c_str(), L"ab")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    LeaveCriticalSection(&logLock);
}

// Argument `index` (from the first) of `parameters` as `type`.
HRESULT argument(const DISPPARAMS *parameters, UINT index, VARTYPE type, VARIANT *value)
{
    VariantInit(value);
    if (index >= parameters->cArgs)
        return DISP_E_BADPARAMCOUNT;
    // The arguments come last one first.
    VARIANT *given = &parameters->rgvarg[parameters->cArgs - 1 - index];
    return VariantChangeType(value, given, 0, type);
}

class Document final : public IDispatch {
public:
    Document() { ++liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --m_references;
        if (left == 0) {
            delete this;
            objectGone();
        }
        return ULONG(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override
    {
        *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            // Automation names match without regard to case.
            if (i == 0 && _wcsicmp(names[i], L"CreateView") == 0) {
                ids[i] = CreateViewId;
            } else if (i == 0 && _wcsicmp(names[i], L"SetViewXMLData") == 0) {
                ids[i] = SetViewXmlDataId;
            } else {
                ids[i] = DISPID_UNKNOWN;
                result = DISP_E_UNKNOWNNAME;
            }
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters, VARIANT *result,
                                     EXCEPINFO *, UINT *wrongArgument) override;

private:
    std::atomic<long> m_references{1};
};

HRESULT Document::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters, VARIANT *result,
                         EXCEPINFO *, UINT *wrongArgument)
{
    if (!(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (result)
        VariantInit(result);
    const UINT expected = id == CreateViewId ? 3 : id == SetViewXmlDataId ? 2 : 0;
    if (expected == 0)
        return DISP_E_MEMBERNOTFOUND;
    if (!parameters || parameters->cArgs != expected || parameters->cNamedArgs != 0)
        return DISP_E_BADPARAMCOUNT;
    VARIANT values[3];
    const VARTYPE types[3] = {VT_BSTR, VT_BSTR, VT_I2};
    for (UINT i = 0; i < expected; ++i) {
        const HRESULT converted = argument(parameters, i, types[i], &values[i]);
        if (FAILED(converted)) {
            for (UINT j = 0; j < i; ++j)
                VariantClear(&values[j]);
            if (wrongArgument)
                *wrongArgument = parameters->cArgs - 1 - i;
            return DISP_E_TYPEMISMATCH;
        }
    }
    std::string line;
    if (id == CreateViewId) {
        line = "CreateView\t" + utf8(values[0].bstrVal) + '\t' + utf8(values[1].bstrVal) + '\t'
            + std::to_string(values[2].iVal) + '\n';
    } else {
        const std::string text = utf8(values[1].bstrVal);
        line = "SetViewXMLData\t" + utf8(values[0].bstrVal) + '\t' + std::to_string(text.size()) + '\n' + text + '\n';
    }
    for (UINT i = 0; i < expected; ++i)
        VariantClear(&values[i]);
    append(line);
    return S_OK;
}

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory lives as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto *document = new Document;
        const HRESULT result = document->QueryInterface(iid, object);
        document->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) {
            ++serverLocks;
        } else if (--serverLocks == 0 && liveObjects == 0) {
            SetEvent(finished);
        }
        return S_OK;
    }
};

std::wstring clsidText()
{
    wchar_t text[64] = {};
    StringFromGUID2(DocumentClsid, text, 64);
    return text;
}

bool setValue(const std::wstring &key, const wchar_t *name, const std::wstring &value)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr)
        != ERROR_SUCCESS)
        return false;
    const LONG set = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                                    DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return set == ERROR_SUCCESS;
}

int registerClass(const std::wstring &log)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring classKey = std::wstring(ClassesKey) + L"CLSID\\" + clsidText();
    const std::wstring command = L"\"" + std::wstring(program) + L"\" --log \"" + log + L"\"";
    const bool ok = setValue(std::wstring(ClassesKey) + ProgId, nullptr, L"Manager Server document (stand-in)")
        && setValue(std::wstring(ClassesKey) + ProgId + L"\\CLSID", nullptr, clsidText())
        && setValue(classKey, nullptr, L"Manager Server document (stand-in)")
        && setValue(classKey + L"\\ProgID", nullptr, ProgId)
        && setValue(classKey + L"\\LocalServer32", nullptr, command);
    if (!ok) {
        std::fwprintf(stderr, L"vorn-com-manager: could not write HKCU\\%ls\n", classKey.c_str());
        return 1;
    }
    return 0;
}

int unregisterClass()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(ClassesKey) + L"CLSID\\" + clsidText()).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(ClassesKey) + ProgId).c_str());
    return 0;
}

int serve()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    InitializeCriticalSection(&logLock);
    finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static Factory factory;
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(DocumentClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
        CoUninitialize();
        return 1;
    }
    WaitForSingleObject(finished, INFINITE);
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t *argv[])
{
    bool doRegister = false, doUnregister = false, embedded = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring word = argv[i];
        if (word == L"--register") {
            doRegister = true;
        } else if (word == L"--unregister") {
            doUnregister = true;
        } else if (word == L"--log" && i + 1 < argc) {
            logFile = argv[++i];
        } else if (_wcsicmp(word.c_str(), L"-Embedding") == 0 || _wcsicmp(word.c_str(), L"/Embedding") == 0) {
            embedded = true;
        } else {
            std::fwprintf(stderr, L"usage: vorn-com-manager --register --log FILE | --unregister\n");
            return 2;
        }
    }
    if (doUnregister)
        return unregisterClass();
    if (doRegister) {
        if (logFile.empty()) {
            std::fwprintf(stderr, L"vorn-com-manager: --register needs --log FILE\n");
            return 2;
        }
        // The file is named once, absolutely, for every later start by COM.
        wchar_t full[MAX_PATH] = {};
        GetFullPathNameW(logFile.c_str(), MAX_PATH, full, nullptr);
        return registerClass(full);
    }
    if (!embedded || logFile.empty()) {
        std::fwprintf(stderr, L"vorn-com-manager: started by COM only (register it with --register --log FILE)\n");
        return 2;
    }
    return serve();
}

// The Manager Server as COM automation: the document is created from its
// ProgID and called through IDispatch, on the client's sender thread, so that
// a manager that hangs in a call holds up that thread and never the window.

#include "managertransport.h"

#include "managerclient.h"

#include <QHash>

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <vector>

namespace vorn {

namespace {

QString hresultName(const char *what, HRESULT hr)
{
    return QStringLiteral("%1 0x%2").arg(QLatin1String(what)).arg(quint32(hr), 8, 16, QLatin1Char('0'));
}

BSTR toBstr(const QString &text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR *>(text.utf16()), UINT(text.size()));
}

class ComTransport final : public ManagerTransport {
public:
    explicit ComTransport(const CLSID &clsid) : m_clsid(clsid) {}
    ~ComTransport() override { close(); }

    void call(const QString &method, const QVariantList &arguments, const model::ScheduleXmlRows *text,
              bool waitForReply, QObject *context, const Done &done) override;
    void close() override;

private:
    // Creates the document on the first call; a document that could not be
    // created fails every call, as a missing object would.
    HRESULT document();

    CLSID m_clsid;
    bool m_comStarted = false;
    bool m_tried = false;
    HRESULT m_created = E_FAIL;
    IDispatch *m_document = nullptr;
    QHash<QString, DISPID> m_ids;
};

HRESULT ComTransport::document()
{
    if (m_tried)
        return m_created;
    m_tried = true;
    // This thread is only ever a COM client; the multithreaded apartment
    // needs no message loop of its own.
    const HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    m_comStarted = SUCCEEDED(started);
    m_created = CoCreateInstance(m_clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void **>(&m_document));
    if (FAILED(m_created))
        m_document = nullptr;
    return m_created;
}

void ComTransport::call(const QString &method, const QVariantList &arguments, const model::ScheduleXmlRows *text,
                        bool waitForReply, QObject *context, const Done &done)
{
    Q_UNUSED(context)
    const auto finish = [&](const Outcome &outcome) {
        if (waitForReply)
            done(outcome);
    };
    if (const HRESULT created = document(); FAILED(created)) {
        finish({true, false, hresultName("CoCreateInstance", created)});
        return;
    }
    DISPID id = DISPID_UNKNOWN;
    if (const auto known = m_ids.constFind(method); known != m_ids.constEnd()) {
        id = *known;
    } else {
        std::wstring name(reinterpret_cast<const wchar_t *>(method.utf16()), size_t(method.size()));
        LPOLESTR names[] = {name.data()};
        const HRESULT looked = m_document->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(looked)) {
            finish({true, false, hresultName("GetIDsOfNames", looked)});
            return;
        }
        m_ids.insert(method, id);
    }

    // IDispatch takes the arguments last one first.
    std::vector<VARIANT> values;
    values.reserve(arguments.size() + 1);
    for (const QVariant &argument : arguments) {
        VARIANT value;
        VariantInit(&value);
        if (argument.typeId() == QMetaType::Short) {
            value.vt = VT_I2;
            value.iVal = argument.value<qint16>();
        } else {
            // The same characters stand in for what the bus cannot carry, so
            // the manager gets the same text on either platform.
            value.vt = VT_BSTR;
            value.bstrVal = toBstr(QString::fromUtf8(model::BusSafeUtf8(argument.toString())));
        }
        values.push_back(value);
    }
    if (text) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = toBstr(QString::fromUtf8(text->text()));
        values.push_back(value);
    }
    std::vector<VARIANT> reversed(values.rbegin(), values.rend());
    DISPPARAMS parameters{reversed.data(), nullptr, UINT(reversed.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT wrongArgument = 0;
    const HRESULT invoked = m_document->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                               &result, &exception, &wrongArgument);
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    for (VARIANT &value : values)
        VariantClear(&value);
    finish({true, SUCCEEDED(invoked), SUCCEEDED(invoked) ? QString() : hresultName("Invoke", invoked)});
}

void ComTransport::close()
{
    if (m_document) {
        m_document->Release();
        m_document = nullptr;
    }
    if (m_comStarted) {
        CoUninitialize();
        m_comStarted = false;
    }
}

} // namespace

std::unique_ptr<ManagerTransport> OpenManagerTransport(const ManagerEndpoint &endpoint)
{
    // Only the registration is looked up here: the manager's server is
    // started by the first call, on the sender thread.
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID clsid{};
    const std::wstring progId(reinterpret_cast<const wchar_t *>(endpoint.progId.utf16()),
                              size_t(endpoint.progId.size()));
    const HRESULT found = CLSIDFromProgID(progId.c_str(), &clsid);
    if (SUCCEEDED(started))
        CoUninitialize();
    if (FAILED(found))
        return nullptr;
    return std::make_unique<ComTransport>(clsid);
}

qint64 ManagerTransportMaxCallSize()
{
    // A BSTR counts its bytes in 32 bits; UTF-8 takes up to two UTF-16 bytes a byte.
    return qint64(1) << 30;
}

} // namespace vorn

#include "smtp/ListSend.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "compose/ListMessages.h"
#include "core/Ascii.h"
#include "platform/FileSystem.h"
#include "smtp/SendJournal.h"
#include "smtp/SmtpSender.h"

namespace {

std::atomic<std::uint64_t> g_nextListId{1u << 30};

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Waits ms, or less when a stop comes; false for a stop.
bool Sleep(const platform::StopSignal& stop, long long ms) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    while (!stop.IsRequested()) {
        if (Clock::now() >= end) return true;
        std::this_thread::sleep_for(std::min(std::chrono::duration_cast<Clock::duration>(end - Clock::now()),
                                             std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(50))));
    }
    return false;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string LastLine(const std::vector<std::string>& lines) { return lines.empty() ? std::string() : lines.back(); }

// Failures of the session itself, not of one recipient: trying again cannot help.
bool SessionRefused(SendFailure f) {
    return f == SendFailure::HostNotFound || f == SendFailure::Refused || f == SendFailure::NoStartTls ||
           f == SendFailure::TlsVerification || f == SendFailure::TlsHandshake || f == SendFailure::TokenFailed ||
           f == SendFailure::BadFields || f == SendFailure::Cancelled;
}

class ListRun {
public:
    ListRun(const ListSendRequest& request, IListSendNotify& notify, std::uint64_t id,
            std::shared_ptr<platform::StopSignal> stop, ListPause* pause, const platform::Platform& env)
        : m_req(request), m_notify(notify), m_id(id), m_stop(std::move(stop)), m_pause(pause), m_env(env),
          m_messages(env) {}
    ListSendReport Run();

private:
    bool Fail(const std::string& why) {
        m_report.bFailed = true;
        if (m_report.strError.empty()) m_report.strError = why;
        return false;
    }
    bool Prepare();
    void Settle(std::size_t i, RecipientState state, const std::string& detail);
    bool Record(std::size_t i, JournalState state, const std::string& detail) {
        std::string err;
        return m_journal.Record(m_report.listRecipients[i].strAddress, state, detail, err) || Fail(err);
    }
    bool SendOne(std::size_t i);
    bool WriteOne(std::size_t i);
    bool EnsureSession();
    void Progress();
    void WriteReport();

    const ListSendRequest& m_req;
    IListSendNotify& m_notify;
    std::uint64_t m_id;
    std::shared_ptr<platform::StopSignal> m_stop;
    ListPause* m_pause;
    platform::Platform m_env;
    RecipientList m_list;
    CListMessages m_messages;
    CSendJournal m_journal;
    std::string m_strJournalPath;
    SendJob m_session;
    CSmtpSender m_sender{m_env};
    bool m_bFreshSession = true;
    bool m_bEverOpened = false;  // a server never reached is not retried
    int m_nReconnects = 0;
    ListSendReport m_report;
    std::vector<std::size_t> m_pending;  // indices into the report, in order
    std::vector<Clock::time_point> m_retryAt;  // per report index
    std::size_t m_nTotal = 0, m_nDone = 0;
    Clock::time_point m_start = Clock::now();
};

bool ListRun::Prepare() {
    std::string err;
    if (!LoadRecipientList(m_env, m_req.strListPath, m_req.strAddressColumn, m_list, err)) return Fail(err);
    const ComposeJob& m = m_req.send.message;
    const AppOptions& o = m_req.send.options;
    const bool dry = !m_req.strDryRunFolder.empty();
    if (!m_list.listRows.empty()) {
        SendAddresses addresses;
        SendField field;
        if (!CheckSendFields(m.m_strHtmlPath, m.m_strFrom, m_list.listRows[0].address.EnvelopeAddress(), "",
                             dry ? std::string("-") : o.SmtpServer, addresses, err, field))
            return Fail(err);
        m_session.m_strFrom = addresses.strFrom;
    }
    ComposeJob job = m;
    job.m_bPrepareForWebmail = o.PrepareForWebmail;
    job.m_strOutputPath = dry ? m_req.strDryRunFolder + "/0.eml" : m_req.strListPath + ".eml";
    if (!m_messages.Prepare(job, m_req.send.plan, m_list, m_req.strUnsubscribe, err)) return Fail(err);
    for (const std::string& line : m_messages.Notices()) m_notify.OnSendWarning(m_id, line);

    m_strJournalPath = m_req.strJournalPath.empty() ? DefaultJournalPath(m_req.strListPath) : m_req.strJournalPath;
    if (dry) {
        m_strJournalPath = m_req.strDryRunFolder + "/journal";
        if (!platform::MakeFolders(m_req.strDryRunFolder, err)) return Fail(err);
    }
    if (!m_journal.Open(m_strJournalPath, err)) return Fail(err);

    for (const ListRow& row : m_list.listRows) {
        RecipientResult r;
        r.strAddress = row.address.EnvelopeAddress();
        r.nLine = row.nLine;
        switch (m_journal.State(r.strAddress)) {
        case JournalState::Sent:
            r.state = RecipientState::Sent;
            r.strDetail = m_journal.Detail(r.strAddress);
            break;
        case JournalState::Refused:
            r.state = RecipientState::Refused;
            r.strDetail = m_journal.Detail(r.strAddress);
            break;
        case JournalState::EndMark:
        case JournalState::Unknown:
            if (!m_req.bResendUnknown) {
                r.state = RecipientState::Unknown;
                r.strDetail = "may have been delivered (no reply to the end of its data); --resend-unknown sends again";
                break;
            }
            [[fallthrough]];
        default:
            m_pending.push_back(m_report.listRecipients.size());
        }
        m_report.listRecipients.push_back(std::move(r));
    }
    auto skip = [&](const ListRowProblem& p) {
        RecipientResult r;
        r.strAddress = p.strAddress;
        r.nLine = p.nLine;
        r.state = RecipientState::Skipped;
        r.strDetail = p.strReason;
        m_report.listRecipients.push_back(std::move(r));
    };
    for (const ListRowProblem& p : m_list.listBadRows) skip(p);
    for (const ListRowProblem& p : m_list.listDuplicates) skip(p);
    m_retryAt.assign(m_report.listRecipients.size(), Clock::time_point());
    m_nTotal = m_pending.size();

    const AppOptions& opt = m_req.send.options;
    m_session.m_strServer = opt.SmtpServer;
    m_session.m_nPort = opt.SmtpPort;
    m_session.m_nSecurity = opt.Security;
    m_session.m_bAuth = opt.SrvReqAuth;
    m_session.m_bEhlo = true;
    m_session.m_strUser = opt.AuthName;
    m_session.m_strPassword = opt.AuthPass;
    m_session.m_nAuthMethod = opt.AuthMethod;
    m_session.m_strOAuthTokenCommand = opt.OAuthTokenCommand;
    m_session.m_pNotify = std::shared_ptr<ISendNotify>(std::shared_ptr<void>(), &m_notify);
    m_session.m_nSendId = m_id;
    m_session.m_pStop = m_stop;
    m_session.m_nWaitMs = m_req.send.nWaitMs;
    m_session.m_nEndOfDataWaitMs = m_req.send.nEndOfDataWaitMs;
    m_session.m_strCaFile = m_req.send.strCaFile;
    return true;
}

void ListRun::Settle(std::size_t i, RecipientState state, const std::string& detail) {
    RecipientResult& r = m_report.listRecipients[i];
    r.state = state;
    r.strDetail = detail;
    // Only a settled recipient is done: Sending and Deferred come before a settlement.
    if (state != RecipientState::Deferred && state != RecipientState::Pending && state != RecipientState::Sending)
        ++m_nDone;
    m_notify.OnRecipient(m_id, i, r);
    Progress();
}

void ListRun::Progress() {
    ListProgress p;
    p.nDone = m_nDone;
    p.nTotal = m_nTotal;
    const double minutes = std::max(1.0, static_cast<double>(MsSince(m_start))) / 60000.0;
    p.dPerMinute = static_cast<double>(m_nDone) / minutes;
    double pace = p.dPerMinute;
    if (m_req.nRatePerMinute > 0 && (pace <= 0 || pace > m_req.nRatePerMinute)) pace = m_req.nRatePerMinute;
    p.dSecondsLeft = pace > 0 ? static_cast<double>(m_nTotal - m_nDone) * 60.0 / pace : 0;
    p.bPaused = m_pause && m_pause->Paused();
    m_notify.OnListProgress(m_id, p);
}

bool ListRun::EnsureSession() {
    if (m_sender.Connected()) {
        if (m_bFreshSession || m_sender.Reset(m_session)) return true;
        m_sender.Close(m_session);
    }
    for (;;) {
        m_bFreshSession = true;
        if (m_sender.Open(m_session)) return m_bEverOpened = true;
        const SendOutcome& o = m_sender.OpenOutcome();
        // A refusal of the login or of TLS will not change; a lost
        // connection may come back.
        if (!m_bEverOpened || SessionRefused(o.failure) || ++m_nReconnects > 3) {
            m_report.failure = o;
            if (o.failure == SendFailure::Cancelled) return false;
            return Fail(DescribeFailure(o));
        }
        if (!Sleep(*m_stop, 1000LL << m_nReconnects)) return false;
    }
}

bool ListRun::WriteOne(std::size_t i) {
    const ListRow& row = m_list.listRows[i];
    std::string bytes, err;
    if (!m_messages.Message(m_list, row, false, bytes, err)) return Fail(err);
    char name[32];
    std::snprintf(name, sizeof name, "/%05zu.eml", i + 1);
    std::string path = m_req.strDryRunFolder + name;
    std::unique_ptr<platform::OutputFile> out = m_env.files->CreateOutput(path, platform::ReadOnlyTarget::Refuse, err);
    if (!out || !out->Write(bytes.data(), bytes.size(), err) || !out->Commit(err))
        return Fail("cannot write '" + path + "': " + err);
    Settle(i, RecipientState::Sent, "written to " + path);
    return true;
}

bool ListRun::SendOne(std::size_t i) {
    RecipientResult& r = m_report.listRecipients[i];
    const ListRow& row = m_list.listRows[i];
    if (!EnsureSession()) return false;
    m_bFreshSession = false;
    std::string bytes, err;
    const bool sevenBit = m_messages.HasEightBitData() && !m_sender.OffersEightBitMime();
    if (!m_messages.Message(m_list, row, sevenBit, bytes, err)) return Fail(err);
    if (!Record(i, JournalState::Sending, "")) return false;
    ++r.nAttempts;
    Settle(i, RecipientState::Sending, "");
    SendJob job = m_session;
    job.m_listRecipients = {r.strAddress};
    job.m_pMessageBytes = &bytes;
    job.m_bEightBitData = m_messages.HasEightBitData() && !sevenBit;
    // On the disk before the end mark goes: after it, the message may be delivered.
    job.m_fnBeforeEndOfData = [&] { return Record(i, JournalState::EndMark, ""); };
    const SendOutcome o = m_sender.Transfer(job);
    if (m_report.bFailed) return false;  // the journal could not be written
    if (o.bSuccess) {
        m_nReconnects = 0;
        std::string reply = LastLine(o.listReplyLines);
        return Record(i, JournalState::Sent, reply) && (Settle(i, RecipientState::Sent, reply), true);
    }
    const std::string reply = !o.listRefusedReplies.empty() ? o.listRefusedReplies.back() : LastLine(o.listReplyLines);
    const bool answered = o.nReplyCode >= 400 && o.nReplyCode < 600;
    if (!answered && o.bEndOfDataSent) {
        std::string why = "may have been delivered: " + DescribeFailure(o);
        return Record(i, JournalState::Unknown, why) && (Settle(i, RecipientState::Unknown, why), true);
    }
    if (o.failure == SendFailure::Cancelled) return false;
    if (answered && o.nReplyCode >= 500) {
        m_nReconnects = 0;
        return Record(i, JournalState::Refused, reply) && (Settle(i, RecipientState::Refused, reply), true);
    }
    if (o.failure == SendFailure::TooLarge) {
        std::string why = DescribeFailure(o);
        return Record(i, JournalState::Failed, why) && (Settle(i, RecipientState::Failed, why), true);
    }
    // A 4xx reply, or a connection lost before the end mark: later, with a growing wait.
    std::string why = answered ? reply : DescribeFailure(o);
    if (r.nAttempts >= std::max(1, m_req.nMaxAttempts))
        return Record(i, JournalState::Failed, why) && (Settle(i, RecipientState::Failed, why), true);
    const long long wait = answered ? static_cast<long long>(m_req.nRetryWaitMs) << (r.nAttempts - 1) : 0;
    m_retryAt[i] = Clock::now() + std::chrono::milliseconds(wait);
    m_pending.push_back(i);
    return Record(i, JournalState::Deferred, why) && (Settle(i, RecipientState::Deferred, why), true);
}

void ListRun::WriteReport() {
    if (m_strJournalPath.empty()) return;
    std::string text = "line,address,state,detail\r\n";
    for (const RecipientResult& r : m_report.listRecipients)
        text += std::to_string(r.nLine) + "," + CsvField(r.strAddress) + "," + RecipientStateName(r.state) + "," +
                CsvField(r.strDetail) + "\r\n";
    std::string path = ReportPath(m_strJournalPath), err;
    std::unique_ptr<platform::OutputFile> out = m_env.files->CreateOutput(path, platform::ReadOnlyTarget::Refuse, err);
    if (out && out->Write(text.data(), text.size(), err) && out->Commit(err)) m_report.strReportPath = path;
    else m_notify.OnSendWarning(m_id, "cannot write the report '" + path + "': " + err);
}

ListSendReport ListRun::Run() {
    if (Prepare()) {
        const bool dry = !m_req.strDryRunFolder.empty();
        const long long interval = m_req.nRatePerMinute > 0 && !dry ? 60000LL / m_req.nRatePerMinute : 0;
        Clock::time_point lastStart;
        bool any = false;
        Progress();
        while (!m_pending.empty() && !m_report.bFailed) {
            if (m_stop->IsRequested() || (m_pause && !m_pause->WaitWhilePaused(*m_stop))) break;
            // The first whose time has come; a deferred one waits its turn.
            auto next = std::min_element(m_pending.begin(), m_pending.end(), [&](std::size_t a, std::size_t b) {
                return m_retryAt[a] < m_retryAt[b];
            });
            const std::size_t i = *next;
            if (m_retryAt[i] > Clock::now() &&
                !Sleep(*m_stop, std::chrono::duration_cast<std::chrono::milliseconds>(m_retryAt[i] - Clock::now()).count()))
                break;
            if (any && interval > 0 && !Sleep(*m_stop, interval - MsSince(lastStart))) break;
            m_pending.erase(next);
            lastStart = Clock::now();
            any = true;
            if (!(dry ? WriteOne(i) : SendOne(i))) {
                RecipientResult& r = m_report.listRecipients[i];
                if (r.state == RecipientState::Sending) r.state = RecipientState::Pending;
                break;
            }
        }
        if (m_sender.Connected()) m_sender.Close(m_session);
        m_report.bStopped = m_stop->IsRequested() && !m_report.bFailed;
        WriteReport();
    }
    for (const RecipientResult& r : m_report.listRecipients) {
        switch (r.state) {
        case RecipientState::Sent: ++m_report.nSent; break;
        case RecipientState::Refused: ++m_report.nRefused; break;
        case RecipientState::Unknown: ++m_report.nUnknown; break;
        case RecipientState::Skipped: ++m_report.nSkipped; break;
        case RecipientState::Failed: ++m_report.nFailed; break;
        default: break;
        }
    }
    m_notify.OnListDone(m_id, m_report);
    return m_report;
}

} // namespace

const char* RecipientStateName(RecipientState state) {
    switch (state) {
    case RecipientState::Pending: return "pending";
    case RecipientState::Sending: return "sending";
    case RecipientState::Deferred: return "deferred";
    case RecipientState::Sent: return "sent";
    case RecipientState::Refused: return "refused";
    case RecipientState::Failed: return "failed";
    case RecipientState::Unknown: return "unknown";
    case RecipientState::Skipped: return "skipped";
    }
    return "?";
}

std::string DefaultJournalPath(const std::string& strListPath) { return strListPath + ".quillory-journal"; }

std::string ReportPath(const std::string& strJournalPath) { return strJournalPath + "-report.csv"; }

int ListSendReport::ExitStatus() const {
    if (bFailed || bStopped) return 1;
    std::size_t settled = nSent + nRefused + nFailed + nUnknown + nSkipped;
    if (settled < listRecipients.size()) return 1;
    return nRefused + nFailed + nUnknown > 0 ? 4 : 0;
}

std::string ListSendReport::Summary() const {
    std::string s = std::to_string(nSent) + " sent";
    if (nRefused) s += ", " + std::to_string(nRefused) + " refused";
    if (nFailed) s += ", " + std::to_string(nFailed) + " failed";
    if (nUnknown) s += ", " + std::to_string(nUnknown) + " unknown: may have been delivered";
    if (nSkipped) s += ", " + std::to_string(nSkipped) + " skipped";
    std::size_t left = listRecipients.size() - nSent - nRefused - nFailed - nUnknown - nSkipped;
    if (left) s += ", " + std::to_string(left) + " not yet sent";
    return s;
}

bool LoadRecipientList(const platform::Platform& /*env*/, const std::string& strListPath,
                       const std::string& strAddressColumn, RecipientList& list, std::string& strError) {
    std::string text;
    if (int e = platform::ReadConfigFile(strListPath, text, std::size_t(1) << 30)) {
        strError = "cannot read the list '" + strListPath + "': " + std::strerror(e);
        return false;
    }
    if (ReadRecipientList(text, strAddressColumn, list, strError)) return true;
    strError = "'" + strListPath + "': " + strError;
    return false;
}

bool PreviewListRow(const platform::Platform& env, const ListSendRequest& request, std::size_t nRow,
                    PersonalPreview& preview, std::string& strError) {
    RecipientList list;
    if (!LoadRecipientList(env, request.strListPath, request.strAddressColumn, list, strError)) return false;
    std::string page;
    if (int e = platform::ReadConfigFile(request.send.message.m_strHtmlPath, page, std::size_t(1) << 30)) {
        strError = "cannot read '" + request.send.message.m_strHtmlPath + "': " + std::strerror(e);
        return false;
    }
    return PreviewRow(list, nRow, request.send.message.m_strSubject, page, preview, strError);
}

void ListPause::Pause() { m_bPaused = true; }

void ListPause::Resume() {
    m_bPaused = false;
    Wake();
}

void ListPause::Wake() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cv.notify_all();
}

bool ListPause::WaitWhilePaused(const platform::StopSignal& stop) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_bPaused && !stop.IsRequested()) m_cv.wait_for(lock, std::chrono::milliseconds(100));
    return !stop.IsRequested();
}

ListSendReport RunListSend(const ListSendRequest& request, IListSendNotify& notify, std::uint64_t nSendId,
                           std::shared_ptr<platform::StopSignal> stop, ListPause* pPause,
                           const platform::Platform& env) {
    return ListRun(request, notify, nSendId, std::move(stop), pPause, env).Run();
}

CListSend::CListSend(const platform::Platform& env) : m_env(env) {}

CListSend::~CListSend() {
    Cancel();
    Join();
}

void CListSend::Start(ListSendRequest request, std::shared_ptr<IListSendNotify> notify) {
    Cancel();
    Join();
    m_pStop = std::make_shared<platform::StopSignal>();
    m_pause = std::make_shared<ListPause>();
    m_nSendId = g_nextListId++;
    m_thread = std::thread([request = std::move(request), notify = std::move(notify), id = m_nSendId, stop = m_pStop,
                            pause = m_pause, env = m_env] { RunListSend(request, *notify, id, stop, pause.get(), env); });
}

void CListSend::Pause() {
    if (m_pause) m_pause->Pause();
}

void CListSend::Resume() {
    if (m_pause) m_pause->Resume();
}

void CListSend::Cancel() {
    if (m_pStop) m_pStop->Request();
    if (m_pause) m_pause->Wake();
}

void CListSend::Join() {
    if (m_thread.joinable()) m_thread.join();
}

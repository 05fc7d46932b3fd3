#include "imap/imap_connection.h"

#include <libetpan/libetpan.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "imap/server_certificate.h"

namespace quillet::imap {

namespace {

// How long the server may stay silent before the connection counts as lost.
constexpr time_t kTimeoutSeconds = 120;
// How many messages one FETCH of keys asks for.
constexpr std::uint32_t kKeyBatch = 500;

struct ListFree {
    void operator()(clist* list) const { mailimap_list_result_free(list); }
};
struct FetchFree {
    void operator()(clist* list) const { mailimap_fetch_list_free(list); }
};

void SetServerName(mailstream_ssl_context* context, void* host) {
    mailstream_ssl_set_server_name(context, static_cast<char*>(host));
}

std::int64_t Seconds(const mailimap_date_time& date) {
    std::tm fields{};
    fields.tm_year = date.dt_year - 1900;
    fields.tm_mon = date.dt_month - 1;
    fields.tm_mday = date.dt_day;
    fields.tm_hour = date.dt_hour;
    fields.tm_min = date.dt_min;
    fields.tm_sec = date.dt_sec;
    const int zone = date.dt_zone;  // +hhmm as a number
    return static_cast<std::int64_t>(timegm(&fields)) - ((zone / 100) * 3600 + (zone % 100) * 60);
}

// A server that closes the connection must not end us with SIGPIPE (neither libetpan nor GnuTLS
// asks the socket not to raise it): the signal is blocked on this thread while a session lives,
// and one raised meanwhile is taken away, so the caller's handlers never see it.
class PipeSignalBlock {
  public:
    PipeSignalBlock() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~PipeSignalBlock() {
        const timespec none{0, 0};
        while (sigtimedwait(&m_pipe, nullptr, &none) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

  private:
    sigset_t m_pipe;
    sigset_t m_old;
};

}  // namespace

struct ImapConnection::Session {
    explicit Session(const ImapAddress& at) : address(at), imap(mailimap_new(0, nullptr)) {}
    ~Session() {
        if (imap == nullptr) return;
        if (loggedIn) mailimap_logout(imap);
        mailimap_free(imap);
    }

    PipeSignalBlock pipeSignal;  // first made, last gone

    // The reason for a failed libetpan call (`code`) while doing `what`.
    std::string server() const { return address.host + ":" + std::to_string(address.port); }

    Status failure(const std::string& what, int code,
                   ErrorKind refused = ErrorKind::kAccessDenied) {
        const std::string server = this->server();
        if (code == MAILIMAP_ERROR_STREAM || code == MAILIMAP_ERROR_SSL) {
            return Status::Error(
                "The connection to " + server + " was lost (while asking " + what + ")",
                ErrorKind::kIo);
        }
        std::string said = imap->imap_response != nullptr ? imap->imap_response : "";
        std::string lowered = said;
        std::transform(lowered.begin(), lowered.end(), lowered.begin(), ::tolower);
        const ErrorKind kind =
            lowered.find("quota") != std::string::npos ? ErrorKind::kDiskFull : refused;
        return Status::Error(server + " refused " + what + (said.empty() ? "" : ": " + said), kind);
    }

    Status connect(const std::string& caFile) {
        mailimap_set_timeout(imap, kTimeoutSeconds);
        char* host = const_cast<char*>(address.host.c_str());
        int code = address.startTls ? mailimap_socket_connect(imap, host, address.port)
                                    : mailimap_ssl_connect_with_callback(imap, host, address.port,
                                                                         SetServerName, host);
        if (code != MAILIMAP_NO_ERROR && code != MAILIMAP_NO_ERROR_AUTHENTICATED &&
            code != MAILIMAP_NO_ERROR_NON_AUTHENTICATED) {
            return Status::Error("Cannot connect to " + address.host + ":" +
                                     std::to_string(address.port) +
                                     (code == MAILIMAP_ERROR_SSL ? " with TLS" : ""),
                                 ErrorKind::kIo);
        }
        if (address.startTls) {
            code = mailimap_socket_starttls_with_callback(imap, SetServerName, host);
            if (code != MAILIMAP_NO_ERROR) return failure("to start TLS (STARTTLS)", code);
        }
        std::vector<std::string> chain;
        if (carray* certificates = mailstream_get_certificate_chain(imap->imap_stream)) {
            for (unsigned i = 0; i < carray_count(certificates); ++i) {
                auto* der = static_cast<MMAPString*>(carray_get(certificates, i));
                chain.emplace_back(der->str, der->len);
            }
            mailstream_certificate_chain_free(certificates);
        }
        return CheckServerCertificate(chain, address.host, caFile);
    }

    const ImapAddress address;
    mailimap* imap;
    bool loggedIn = false;
    std::string selected;
};

ImapConnection::ImapConnection(std::unique_ptr<Session> session) : m_session(std::move(session)) {}

ImapConnection::~ImapConnection() = default;

Result<std::unique_ptr<ImapConnection>> ImapConnection::Open(const ImapAddress& address,
                                                             const std::string& password,
                                                             const std::string& caFile) {
    auto session = std::make_unique<Session>(address);
    if (session->imap == nullptr) return Status::Error("Out of memory");
    if (Status s = session->connect(caFile); !s) return s;
    const int login = mailimap_login(session->imap, address.user.c_str(), password.c_str());
    if (login != MAILIMAP_NO_ERROR) return session->failure("the login of " + address.user, login);
    session->loggedIn = true;

    clist* raw = nullptr;
    const int listed = mailimap_list(session->imap, "", "", &raw);
    std::unique_ptr<clist, ListFree> list(raw);
    if (listed != MAILIMAP_NO_ERROR) return session->failure("to list its folders", listed);
    std::unique_ptr<ImapConnection> connection(new ImapConnection(std::move(session)));
    if (list && clist_begin(list.get()) != nullptr) {
        auto* root = static_cast<mailimap_mailbox_list*>(clist_content(clist_begin(list.get())));
        connection->m_delimiter = root->mb_delimiter;
    }
    return connection;
}

Result<bool> ImapConnection::mailboxExists(const std::string& name) {
    clist* raw = nullptr;
    const int listed = mailimap_list(m_session->imap, "", name.c_str(), &raw);
    std::unique_ptr<clist, ListFree> list(raw);
    if (listed != MAILIMAP_NO_ERROR) return m_session->failure("to list " + name, listed);
    for (clistiter* at = list ? clist_begin(list.get()) : nullptr; at != nullptr;
         at = clist_next(at)) {
        auto* mailbox = static_cast<mailimap_mailbox_list*>(clist_content(at));
        if (name == mailbox->mb_name) return true;
    }
    return false;
}

Status ImapConnection::ensureMailbox(const std::string& name) {
    auto exists = mailboxExists(name);
    if (!exists || *exists) return exists.status();
    const int created = mailimap_create(m_session->imap, name.c_str());
    if (created != MAILIMAP_NO_ERROR) {
        // Another client (another upload into the same account) may have made it meanwhile.
        if (auto made = mailboxExists(name); made && *made) return Status::Ok();
        return m_session->failure("to create the folder " + name, created);
    }
    return Status::Ok();
}

Result<std::vector<MessageKey>> ImapConnection::keysIn(const std::string& name) {
    mailimap* imap = m_session->imap;
    const int selected = mailimap_select(imap, name.c_str());
    if (selected != MAILIMAP_NO_ERROR) return m_session->failure("to open " + name, selected);
    m_session->selected = name;
    const std::uint32_t count =
        imap->imap_selection_info != nullptr ? imap->imap_selection_info->sel_exists : 0;
    // The keys grow with the messages the server sends, never ahead of them with the count it
    // says: a batch it does not send whole ends the listing.
    std::vector<MessageKey> keys;
    for (std::uint64_t first = 1; first <= count; first += kKeyBatch) {
        const auto last =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(count, first + kKeyBatch - 1));
        mailimap_set* set = mailimap_set_new_interval(static_cast<std::uint32_t>(first), last);
        mailimap_fetch_type* what = mailimap_fetch_type_new_fetch_att_list_empty();
        mailimap_fetch_type_new_fetch_att_list_add(what, mailimap_fetch_att_new_rfc822_size());
        mailimap_fetch_type_new_fetch_att_list_add(what, mailimap_fetch_att_new_internaldate());
        mailimap_fetch_type_new_fetch_att_list_add(
            what, mailimap_fetch_att_new_body_peek_section_partial(mailimap_section_new(nullptr), 0,
                                                                   kKeyPrefixBytes));
        clist* raw = nullptr;
        const int fetched = mailimap_fetch(imap, set, what, &raw);
        mailimap_fetch_type_free(what);
        mailimap_set_free(set);
        std::unique_ptr<clist, FetchFree> result(raw);
        if (fetched != MAILIMAP_NO_ERROR) {
            return m_session->failure("to list the messages of " + name, fetched);
        }
        for (clistiter* at = clist_begin(result.get()); at != nullptr; at = clist_next(at)) {
            auto* message = static_cast<mailimap_msg_att*>(clist_content(at));
            std::uint64_t size = 0;
            std::string_view prefix;
            std::int64_t date = 0;
            for (clistiter* item = clist_begin(message->att_list); item != nullptr;
                 item = clist_next(item)) {
                auto* att = static_cast<mailimap_msg_att_item*>(clist_content(item));
                if (att->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC) continue;
                mailimap_msg_att_static* value = att->att_data.att_static;
                if (value->att_type == MAILIMAP_MSG_ATT_RFC822_SIZE) {
                    size = value->att_data.att_rfc822_size;
                } else if (value->att_type == MAILIMAP_MSG_ATT_INTERNALDATE) {
                    date = Seconds(*value->att_data.att_internal_date);
                } else if (value->att_type == MAILIMAP_MSG_ATT_BODY_SECTION &&
                           value->att_data.att_body_section->sec_body_part != nullptr) {
                    prefix = std::string_view(value->att_data.att_body_section->sec_body_part,
                                              value->att_data.att_body_section->sec_length);
                }
            }
            keys.push_back(KeyOfServerMessage(size, prefix, date));
        }
        if (keys.size() < last) {
            return Status::Error(m_session->server() + " says " + name + " holds " +
                                     std::to_string(count) + " messages but sent " +
                                     std::to_string(keys.size()) + " of the first " +
                                     std::to_string(last) + "; the folder is left alone",
                                 ErrorKind::kCorrupt);
        }
    }
    return keys;
}

Status ImapConnection::append(const std::string& mailbox, std::string_view message,
                              const ImapFlags& flags, std::optional<std::int64_t> date) {
    mailimap_flag_list* list = mailimap_flag_list_new_empty();
    if (flags.seen) mailimap_flag_list_add(list, mailimap_flag_new_seen());
    if (flags.flagged) mailimap_flag_list_add(list, mailimap_flag_new_flagged());
    if (flags.answered) mailimap_flag_list_add(list, mailimap_flag_new_answered());
    if (flags.forwarded) {
        mailimap_flag_list_add(list, mailimap_flag_new_flag_keyword(strdup("$Forwarded")));
    }
    mailimap_date_time* when = nullptr;
    if (date) {
        const std::time_t seconds = static_cast<std::time_t>(*date);
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        when = mailimap_date_time_new(utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900, utc.tm_hour,
                                      utc.tm_min, utc.tm_sec, 0);
    }
    const int appended = mailimap_append(m_session->imap, mailbox.c_str(), list, when,
                                         message.data(), message.size());
    mailimap_flag_list_free(list);
    if (when != nullptr) mailimap_date_time_free(when);
    if (appended != MAILIMAP_NO_ERROR) {
        return m_session->failure("to store a message in " + mailbox, appended);
    }
    return Status::Ok();
}

}  // namespace quillet::imap

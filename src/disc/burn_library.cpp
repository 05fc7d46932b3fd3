#include "disc/burn_library.h"

#include <stdint.h>
// libisofs.h needs the fixed-width integer types declared first.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

#include <mutex>

namespace quillet::disc {

using namespace ::burn;

namespace {

std::mutex& LibraryMutex() {
    static std::mutex mutex;
    return mutex;
}

// The libraries are process-wide; so is the count of their users.
int g_users = 0;

}  // namespace

std::shared_ptr<BurnLibrary> BurnLibrary::Acquire() {
    std::lock_guard lock(LibraryMutex());
    if (g_users == 0) {
        if (burn_initialize() == 0) return nullptr;
        if (iso_init() < 0) {
            burn_finish();
            return nullptr;
        }
        // Queue messages for TakeMessages; print nothing on the terminal.
        burn_msgs_set_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                                 const_cast<char*>("libburn: "));
        iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                                const_cast<char*>("libisofs: "));
        burn_set_verbosity(0);
    }
    ++g_users;
    return std::shared_ptr<BurnLibrary>(new BurnLibrary());
}

BurnLibrary::~BurnLibrary() {
    std::lock_guard lock(LibraryMutex());
    if (--g_users == 0) {
        iso_finish();
        burn_finish();
    }
}

std::string BurnLibrary::TakeMessages() {
    std::string text;
    auto append = [&](const char* message) {
        if (message[0] == '\0') return;
        if (!text.empty()) text += "; ";
        text += message;
    };
    int code = 0, osErrno = 0, imageId = 0;
    char message[BURN_MSGS_MESSAGE_LEN] = {};
    char severity[80] = {};
    while (burn_msgs_obtain(const_cast<char*>("SORRY"), &code, message, &osErrno, severity) > 0) {
        append(message);
    }
    char isoMessage[4096] = {};
    while (iso_obtain_msgs(const_cast<char*>("SORRY"), &code, &imageId, isoMessage, severity) > 0) {
        append(isoMessage);
    }
    return text;
}

GrabbedDrive::GrabbedDrive(const std::string& address, bool load) {
    std::string writable = address;
    if (burn_drive_scan_and_grab(&m_info, writable.data(), load ? 1 : 0) <= 0) m_info = nullptr;
}

GrabbedDrive::~GrabbedDrive() { release(false); }

burn_drive* GrabbedDrive::drive() const { return m_info != nullptr ? m_info[0].drive : nullptr; }

void GrabbedDrive::release(bool eject) {
    if (m_info == nullptr) return;
    burn_drive_release(m_info[0].drive, eject ? 1 : 0);
    burn_drive_info_free(m_info);
    m_info = nullptr;
}

}  // namespace quillet::disc

#pragma once

#include <memory>
#include <string>

// libburn declares its C API inside namespace burn when compiled as C++.
namespace burn {
struct burn_drive;
struct burn_drive_info;
}  // namespace burn

// libburn and libisofs for the real engine: both initialised while any user holds a
// BurnLibrary, their messages queued (never printed) and read back as text for error reports.
namespace quillet::disc {

class BurnLibrary {
  public:
    // Initialises both libraries when no one holds them yet; nullptr when either cannot start.
    static std::shared_ptr<BurnLibrary> Acquire();
    ~BurnLibrary();
    BurnLibrary(const BurnLibrary&) = delete;
    BurnLibrary& operator=(const BurnLibrary&) = delete;

    // The messages of both libraries since the last call, of severity SORRY and worse, joined by
    // "; " (empty when none). Any thread.
    static std::string TakeMessages();

  private:
    BurnLibrary() = default;
};

// One drive held by this process from grab to release, by its libburn address ("/dev/sr0",
// "stdio:/path"). Any thread; one operation on a drive at a time.
class GrabbedDrive {
  public:
    // Grabs the drive; `load` closes its tray first. drive() is null when it failed.
    GrabbedDrive(const std::string& address, bool load);
    ~GrabbedDrive();  // releases without ejecting, unless release() ran
    GrabbedDrive(const GrabbedDrive&) = delete;
    GrabbedDrive& operator=(const GrabbedDrive&) = delete;

    burn::burn_drive* drive() const;
    burn::burn_drive_info* info() const { return m_info; }
    void release(bool eject);

  private:
    burn::burn_drive_info* m_info = nullptr;
};

}  // namespace quillet::disc

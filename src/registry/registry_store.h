#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace quillet::registry {

// Result codes of the registry calls, with the numbers Windows uses.
using RegResult = std::int32_t;
inline constexpr RegResult kErrorSuccess = 0;
inline constexpr RegResult kErrorFileNotFound = 2;
inline constexpr RegResult kErrorAccessDenied = 5;
inline constexpr RegResult kErrorInvalidParameter = 87;
inline constexpr RegResult kErrorMoreData = 234;
inline constexpr RegResult kErrorNoMoreItems = 259;
// The registry file is damaged where the call had to read.
inline constexpr RegResult kErrorBadDb = 1009;

// The deepest a key can lie below its root, as in Windows: a key 512 levels below a root is
// the deepest there is, and creating or reading one deeper fails.
inline constexpr std::size_t kMaxKeyDepth = 512;

// The longest key name, in characters as the registry counts them (UTF-16 code units), that a
// subkey listing (ModReg::EnumSubkeys) and the registry text form carry: the buffer a subkey's
// name is listed into (Windows allows 255 characters). The text export refuses a longer name and
// the text import a key line holding one, so that every tree imported exports again.
inline constexpr std::size_t kKeyNameBufferChars = 260;

// A key handle: one of the predefined roots below, or a handle returned by open or create.
using HKey = std::uintptr_t;
inline constexpr HKey kNoRoot = 0;
inline constexpr HKey kHkeyClassesRoot = 0x80000000;
inline constexpr HKey kHkeyCurrentUser = 0x80000001;
inline constexpr HKey kHkeyLocalMachine = 0x80000002;
inline constexpr HKey kHkeyUsers = 0x80000003;
inline constexpr HKey kHkeyPerformanceData = 0x80000004;
inline constexpr HKey kHkeyCurrentConfig = 0x80000005;
inline constexpr HKey kHkeyDynData = 0x80000006;

// Access rights asked for when opening a key.
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;

// Registry value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// True for the types whose stored bytes are UTF-16 text and which the text calls convert.
constexpr bool IsTextType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// The registry as the Windows registry calls see it: keys below predefined roots, values with a
// type and bytes. Key and value names are matched without regard to case and keep their own.
//
// Names and the data of text values (string, expandable string, multi-string) cross this
// interface as UTF-8, our "ANSI" text, with the terminating zero byte counted in sizes; the *Raw
// calls pass value data as the registry stores it (UTF-16LE for text types). A name holding a
// lone UTF-16 surrogate crosses with it encoded as registry_name.h describes, so that every name
// listed can be opened, queried and set again as itself.
//
// Changes are made in memory and become durable only through Commit(); Discard() drops every
// change since the last commit. Only the current-user and local-machine roots hold keys; the
// other roots report "not found". Not thread-safe: one thread at a time.
class RegistryStore {
  public:
    virtual ~RegistryStore() = default;

    virtual RegResult RegOpenKeyEx(HKey key, std::string_view subKey, std::uint32_t access,
                                   HKey* result) = 0;
    // Opens or creates the key, creating every missing key above it. A key deeper than
    // kMaxKeyDepth below its root is refused (invalid parameter) and nothing is created.
    virtual RegResult RegCreateKey(HKey key, std::string_view subKey, HKey* result) = 0;
    virtual RegResult RegCloseKey(HKey key) = 0;
    // Deletes one key that has no subkeys; access denied when it has some.
    virtual RegResult RegDeleteKey(HKey key, std::string_view subKey) = 0;
    // Subkeys enumerate sorted without regard to case, as Windows does.
    virtual RegResult RegEnumKeyEx(HKey key, std::uint32_t index, std::string* name) = 0;
    // Values enumerate in stored order. *dataSize is the buffer's size on entry and the data's
    // size on return; kErrorMoreData when the buffer is too small (the size needed is returned).
    // data may be null to ask for the size only.
    virtual RegResult RegEnumValue(HKey key, std::uint32_t index, std::string* name,
                                   std::uint32_t* type, std::uint8_t* data,
                                   std::uint32_t* dataSize) = 0;
    virtual RegResult RegQueryValueEx(HKey key, std::string_view valueName, std::uint32_t* type,
                                      std::uint8_t* data, std::uint32_t* dataSize) = 0;
    // The unnamed value of a subkey as text; an empty text when the key has no unnamed value.
    virtual RegResult RegQueryValue(HKey key, std::string_view subKey, char* data,
                                    std::int32_t* dataSize) = 0;
    virtual RegResult RegSetValueEx(HKey key, std::string_view valueName, std::uint32_t type,
                                    const std::uint8_t* data, std::uint32_t dataSize) = 0;

    virtual RegResult RegEnumValueRaw(HKey key, std::uint32_t index, std::string* name,
                                      std::uint32_t* type, std::string* data) = 0;
    virtual RegResult RegSetValueRaw(HKey key, std::string_view valueName, std::uint32_t type,
                                     std::string_view data) = 0;

    // Makes every change since the last commit durable. A store kept in one place commits all
    // or nothing: on failure every such change is discarded and the reason says why. A store
    // kept in two files (a Wine prefix: user.reg and system.reg, see WinePrefixRegistry) writes
    // both new files before it replaces either, so that a refusal or a failed write (a full disk)
    // is all or nothing too; only a failure while replacing the second file after the first was
    // replaced leaves the first committed and keeps the second's changes in memory, not
    // discarded, for the next Commit() (Discard() drops them). The reason then names the file
    // that was not written.
    virtual Status Commit() = 0;
    virtual void Discard() = 0;
    // True when changes wait for Commit().
    virtual bool HasChanges() const = 0;
};

}  // namespace quillet::registry

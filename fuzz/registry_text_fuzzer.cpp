// Imports any bytes as the registry text form below a key of a registry held in memory. A file it
// refuses changes nothing; a tree it imported and exports must import again into an empty
// registry as the same tree (the second export is the same text).
#include "fuzz_support.h"
#include "registry/mod_reg.h"
#include "registry/registry_text.h"
#include "support/registry/memory_registry_store.h"

namespace {

using quillet::fuzz::Fail;
using quillet::registry::MemoryRegistryStore;
using quillet::registry::ModReg;

constexpr char kBaseKey[] = "HKEY_CURRENT_USER\\Software\\Fuzz";

struct Registry {
    MemoryRegistryStore store;
    ModReg modReg{store};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Registry first;
    const auto input =
        quillet::fuzz::WriteScratchFile("import.txt", quillet::fuzz::InputText(data, size));
    const quillet::Status imported = ImportKeyFile(first.modReg, kBaseKey, input);
    if (!imported) {
        if (first.store.commitCount() != 0 || first.modReg.KeyExists(kBaseKey)) {
            Fail("a refused import changed the registry: " + imported.reason());
        }
        return 0;
    }

    const auto exported = quillet::fuzz::ScratchFolder() / "export.txt";
    // A name holding a line break cannot be exported; the export says so and that is all.
    if (!ExportKeyTree(first.modReg, kBaseKey, exported)) return 0;

    Registry second;
    const quillet::Status again = ImportKeyFile(second.modReg, kBaseKey, exported);
    if (!again) Fail("an exported tree is not imported: " + again.reason());
    const auto reexported = quillet::fuzz::ScratchFolder() / "reexport.txt";
    if (!ExportKeyTree(second.modReg, kBaseKey, reexported)) {
        Fail("a tree imported from an export cannot be exported");
    }
    if (quillet::fuzz::ReadWholeFile(exported) != quillet::fuzz::ReadWholeFile(reexported)) {
        Fail("an exported tree imports as another tree");
    }
    return 0;
}

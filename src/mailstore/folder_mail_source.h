#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mailstore/mail_source.h"
#include "platform/status.h"

namespace quillet::mailstore {

// Ok when `stores` names `fileName` (exactly); else kNotFound: "There is no message store
// <fileName> in the <description>".
Status CheckListed(const std::vector<MailSource::StoreName>& stores, const std::string& fileName,
                   const std::string& description);

// The source whose stores are the files `stores` names in `folder`, read in place (OpenStoreFile)
// and never written; a name it does not list fails with CheckListed's reason.
std::unique_ptr<MailSource> MakeFolderMailSource(std::string description,
                                                 std::filesystem::path folder,
                                                 std::vector<MailSource::StoreName> stores);

}  // namespace quillet::mailstore

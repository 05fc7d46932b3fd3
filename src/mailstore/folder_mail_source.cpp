#include "mailstore/folder_mail_source.h"

#include <algorithm>
#include <utility>

namespace quillet::mailstore {
namespace {

class FolderMailSource : public MailSource {
  public:
    FolderMailSource(std::string description, std::filesystem::path folder,
                     std::vector<StoreName> stores)
        : m_description(std::move(description)),
          m_folder(std::move(folder)),
          m_stores(std::move(stores)) {}

    std::string description() const override { return m_description; }
    std::vector<StoreName> stores() const override { return m_stores; }
    Result<std::unique_ptr<StoreBytes>> openStore(const std::string& fileName) override {
        if (Status listed = CheckListed(m_stores, fileName, m_description); !listed) return listed;
        return OpenStoreFile(m_folder / fileName);
    }

  private:
    std::string m_description;
    std::filesystem::path m_folder;
    std::vector<StoreName> m_stores;
};

}  // namespace

Status CheckListed(const std::vector<MailSource::StoreName>& stores, const std::string& fileName,
                   const std::string& description) {
    if (std::any_of(stores.begin(), stores.end(),
                    [&](const auto& store) { return store.fileName == fileName; })) {
        return Status::Ok();
    }
    return Status::Error("There is no message store " + fileName + " in the " + description,
                         ErrorKind::kNotFound);
}

std::unique_ptr<MailSource> MakeFolderMailSource(std::string description,
                                                 std::filesystem::path folder,
                                                 std::vector<MailSource::StoreName> stores) {
    return std::make_unique<FolderMailSource>(std::move(description), std::move(folder),
                                              std::move(stores));
}

}  // namespace quillet::mailstore

#include "gui/open_system.h"

#include "gui/window_texts.h"

namespace quillet {

Result<std::unique_ptr<OpenSystem>> OpenSystem::OpenWinePrefix(
    const std::optional<std::string>& prefix, const Environment& env, MessageService& messages) {
    auto opened = WineSystem::Open(prefix, env);
    if (!opened) return opened.status();
    std::unique_ptr<WineSystem> wine = std::move(opened.value());
    RunSystem parts = RunSystemOf(*wine);
    std::string windowsFolder = wine->system().windowsFolder();
    std::string title = std::string(kMainWindowCaption) + " - " + wine->prefix().string();
    return std::unique_ptr<OpenSystem>(new OpenSystem(std::move(wine), nullptr, std::move(parts),
                                                      std::move(windowsFolder), std::move(title),
                                                      messages));
}

Result<std::unique_ptr<OpenSystem>> OpenSystem::OpenWindowsDisk(
    const std::filesystem::path& root, const std::optional<std::string>& user,
    MessageService& messages) {
    auto opened = WindowsDiskSystem::Open(root, user);
    if (!opened) return opened.status();
    std::unique_ptr<WindowsDiskSystem> disk = std::move(opened.value());
    RunSystem parts = RunSystemOf(*disk);
    std::string windowsFolder = disk->windowsFolder();
    std::string title = std::string(kMainWindowCaption) + " - Windows disk " +
                        disk->root().string() + " (" + disk->logonUser() + ")";
    return std::unique_ptr<OpenSystem>(new OpenSystem(nullptr, std::move(disk), std::move(parts),
                                                      std::move(windowsFolder), std::move(title),
                                                      messages));
}

OpenSystem::OpenSystem(std::unique_ptr<WineSystem> wine, std::unique_ptr<WindowsDiskSystem> disk,
                       RunSystem parts, std::string windowsFolder, std::string title,
                       MessageService& messages)
    : m_wine(std::move(wine)),
      m_disk(std::move(disk)),
      m_parts(std::move(parts)),
      m_windowsFolder(std::move(windowsFolder)),
      m_title(std::move(title)),
      m_modReg(m_parts.registry, PlainMessages(messages)) {}

}  // namespace quillet

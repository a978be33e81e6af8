#pragma once
// The desktop behind the viewer commands, with Qt Core: programs start detached from an
// argument list (never through a shell), the associated program is asked of xdg-mime,
// and programs are looked up on PATH. Opening a file with its default action needs the
// GUI, which hands it in as a function.
#include "app/ViewerCommands.h"

#include <functional>
#include <string>
#include <vector>

namespace tw {

class QtViewerSystem final : public ViewerSystem {
public:
    // `openUrl` opens a local file with the desktop's default action (in the GUI:
    // QDesktopServices::openUrl of the file's URL); without it nothing can be opened so.
    explicit QtViewerSystem(std::function<bool(const std::string&)> openUrl = {}) : m_openUrl(std::move(openUrl)) {}

    bool start(const std::vector<std::string>& argv, const std::string& workingDir, std::string* error) override;
    std::string associatedProgram(const std::string& path) override;
    bool openWithDefaultAction(const std::string& path) override;
    std::string findProgram(const std::string& name) override;

    // How long one xdg-mime query may take before it is given up.
    static constexpr int kQueryTimeoutMs = 5000;

private:
    std::function<bool(const std::string&)> m_openUrl;
};

} // namespace tw

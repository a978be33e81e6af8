#pragma once
// The "General" page: recent-list length, context lines, the two result colours, the
// default viewer, the file-list cache and the context font.
#include "gui/OptionsPage.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tw {

class ColorButton;
class NumberBox;

class GeneralPage final : public OptionsPage {
    Q_OBJECT
public:
    explicit GeneralPage(QWidget* parent = nullptr);
    void load(const ProgramOptions& options) override;
    std::optional<Problem> store(ProgramOptions& options) const override;

private:
    void chooseViewer();
    void chooseFont();

    NumberBox* m_itemsSaved = nullptr;
    NumberBox* m_contextLines = nullptr;
    ColorButton* m_foundColor = nullptr;
    ColorButton* m_fileColor = nullptr;
    QLineEdit* m_viewer = nullptr;
    QPushButton* m_viewerBrowse = nullptr;
    QCheckBox* m_cacheFileList = nullptr;
    QPushButton* m_fontButton = nullptr;
    FontDescription m_font; // the font as last chosen; shown on the button's tooltip
};

} // namespace tw

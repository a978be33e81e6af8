#pragma once
// The "Search" page: the regular-expression size limit, the scratch directory for zip
// members, stopping after a file's first hit, skipping what git's ignore files ignore and
// reading UTF-16 files as text.
#include "gui/OptionsPage.h"

class QCheckBox;
class QLineEdit;

namespace tw {

class NumberBox;

class SearchPage final : public OptionsPage {
    Q_OBJECT
public:
    explicit SearchPage(QWidget* parent = nullptr);
    void load(const ProgramOptions& options) override;
    std::optional<Problem> store(ProgramOptions& options) const override;

private:
    NumberBox* m_maxRegexSize = nullptr;
    QLineEdit* m_unzipDir = nullptr;
    QCheckBox* m_stopAfterFirstHit = nullptr;
    QCheckBox* m_useIgnoreFiles = nullptr;
    QCheckBox* m_detectUtf16 = nullptr;
};

// The directory chooser of the Options sheet, titled "Select Path" and started at
// `start`; the chosen directory, or an empty text when cancelled.
QString chooseDirectory(QWidget* parent, const QString& start);

} // namespace tw

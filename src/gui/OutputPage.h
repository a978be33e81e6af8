#pragma once
// The "Output" page: what the hit lines show, the output file and the hit markers.
#include "gui/OptionsPage.h"

class QCheckBox;
class QLineEdit;

namespace tw {

class OutputPage final : public OptionsPage {
    Q_OBJECT
public:
    explicit OutputPage(QWidget* parent = nullptr);
    void load(const ProgramOptions& options) override;
    std::optional<Problem> store(ProgramOptions& options) const override;

private:
    void chooseOutputFile();

    QCheckBox* m_showFilesWithoutHits = nullptr;
    QCheckBox* m_showFirstHitLine = nullptr;
    QCheckBox* m_displayReplaceString = nullptr;
    QCheckBox* m_displayFileStats = nullptr;
    QLineEdit* m_outputFile = nullptr;
    QLineEdit* m_beforeHit = nullptr;
    QLineEdit* m_afterHit = nullptr;
};

} // namespace tw

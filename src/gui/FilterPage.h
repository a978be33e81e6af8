#pragma once
// The "Filter" page: files excluded by their modification date and their size. Dates are
// typed and shown in a short-date picture ("dd/MM/yyyy"), which the caller passes in
// (the locale's in the program, a fixed one in tests).
#include "gui/OptionsPage.h"

#include <string>

class QLineEdit;

namespace tw {

class FilterPage final : public OptionsPage {
    Q_OBJECT
public:
    // `today` is the file time of the day shown in the caption.
    FilterPage(std::string datePicture, FileTime today, QWidget* parent = nullptr);
    void load(const ProgramOptions& options) override;
    std::optional<Problem> store(ProgramOptions& options) const override;

private:
    std::string m_datePicture;
    QLineEdit* m_beforeDate = nullptr; // minDate
    QLineEdit* m_afterDate = nullptr;  // maxDate
    QLineEdit* m_lessThan = nullptr;   // minSize
    QLineEdit* m_greaterThan = nullptr; // maxSize
};

} // namespace tw

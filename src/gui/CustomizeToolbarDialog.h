#pragma once
// "Customize Toolbar": chooses which commands the toolbar shows and in which order, with
// separators between groups. The dialog edits a list; the window applies it on OK.
#include <QDialog>

#include <vector>

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tw {

class CustomizeToolbarDialog final : public QDialog {
    Q_OBJECT
public:
    CustomizeToolbarDialog(const std::vector<int>& items, QWidget* parent = nullptr);

    // The toolbar as edited: command identifiers and separators (0), left to right.
    std::vector<int> items() const;

    void addSelected();
    void removeSelected();
    void addSeparator();
    void moveSelected(int delta);
    void resetToDefault();

private:
    void fill(const std::vector<int>& items);
    void updateButtons();
    QListWidgetItem* makeItem(int id) const;

    QListWidget* m_available = nullptr; // commands not on the toolbar, in menu order
    QListWidget* m_current = nullptr;   // the toolbar's items; Qt::UserRole holds the id
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
};

} // namespace tw

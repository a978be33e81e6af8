#include "gui/CustomizeToolbarDialog.h"

#include "app/ToolbarLayout.h"
#include "gui/Commands.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tw {

namespace {

QString plain(QString text)
{
    return text.remove(QLatin1Char('&'));
}

QPushButton* makeButton(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(plain(text));
    return b;
}

} // namespace

CustomizeToolbarDialog::CustomizeToolbarDialog(const std::vector<int>& items, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Customize Toolbar"));
    auto* availableLabel = new QLabel(QStringLiteral("A&vailable buttons:"), this);
    auto* currentLabel = new QLabel(QStringLiteral("&Toolbar buttons:"), this);
    m_available = new QListWidget(this);
    m_current = new QListWidget(this);
    for (auto [label, list] : {std::pair{availableLabel, m_available}, std::pair{currentLabel, m_current}}) {
        label->setBuddy(list);
        list->setAccessibleName(plain(label->text()));
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setIconSize(QSize(20, 20));
    }
    m_add = makeButton(QStringLiteral("&Add ->"), this);
    m_remove = makeButton(QStringLiteral("<- &Remove"), this);
    QPushButton* separator = makeButton(QStringLiteral("&Separator"), this);
    m_up = makeButton(QStringLiteral("Move &Up"), this);
    m_down = makeButton(QStringLiteral("Move &Down"), this);
    QPushButton* reset = makeButton(QStringLiteral("R&eset"), this);
    auto* middle = new QVBoxLayout;
    middle->addStretch();
    for (QPushButton* b : {m_add, m_remove, separator, m_up, m_down, reset})
        middle->addWidget(b);
    middle->addStretch();
    auto* grid = new QGridLayout;
    grid->addWidget(availableLabel, 0, 0);
    grid->addWidget(currentLabel, 0, 2);
    grid->addWidget(m_available, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(m_current, 1, 2);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(box);

    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_add, &QPushButton::clicked, this, &CustomizeToolbarDialog::addSelected);
    connect(m_remove, &QPushButton::clicked, this, &CustomizeToolbarDialog::removeSelected);
    connect(separator, &QPushButton::clicked, this, &CustomizeToolbarDialog::addSeparator);
    connect(m_up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(reset, &QPushButton::clicked, this, &CustomizeToolbarDialog::resetToDefault);
    connect(m_available, &QListWidget::itemDoubleClicked, this, &CustomizeToolbarDialog::addSelected);
    connect(m_current, &QListWidget::itemDoubleClicked, this, &CustomizeToolbarDialog::removeSelected);
    connect(m_available, &QListWidget::currentRowChanged, this, &CustomizeToolbarDialog::updateButtons);
    connect(m_current, &QListWidget::currentRowChanged, this, &CustomizeToolbarDialog::updateButtons);
    fill(items);
    resize(560, 400);
}

QListWidgetItem* CustomizeToolbarDialog::makeItem(int id) const
{
    auto* item = new QListWidgetItem;
    item->setData(Qt::UserRole, id);
    if (id == kToolbarSeparator) {
        item->setText(QStringLiteral("--- Separator ---"));
    } else if (const CommandText* t = findCommandText(id)) {
        item->setText(t->tip);
        item->setIcon(commandIcon(id, style()));
    }
    return item;
}

void CustomizeToolbarDialog::fill(const std::vector<int>& items)
{
    m_available->clear();
    m_current->clear();
    for (const int id : items)
        m_current->addItem(makeItem(id));
    for (const CommandText& t : commandTexts())
        if (std::find(items.begin(), items.end(), t.id) == items.end())
            m_available->addItem(makeItem(t.id));
    updateButtons();
}

std::vector<int> CustomizeToolbarDialog::items() const
{
    std::vector<int> result;
    for (int row = 0; row < m_current->count(); ++row)
        result.push_back(m_current->item(row)->data(Qt::UserRole).toInt());
    return result;
}

void CustomizeToolbarDialog::addSelected()
{
    const int row = m_available->currentRow();
    if (row < 0)
        return;
    QListWidgetItem* item = m_available->takeItem(row);
    // The new button goes after the toolbar's current item, or at the end.
    const int at = m_current->currentRow() < 0 ? m_current->count() : m_current->currentRow() + 1;
    m_current->insertItem(at, item);
    m_current->setCurrentRow(at);
    updateButtons();
}

void CustomizeToolbarDialog::removeSelected()
{
    const int row = m_current->currentRow();
    if (row < 0)
        return;
    QListWidgetItem* item = m_current->takeItem(row);
    const int id = item->data(Qt::UserRole).toInt();
    if (id == kToolbarSeparator) {
        delete item;
    } else {
        // Back into the available list at its menu position.
        int at = 0;
        for (const CommandText& t : commandTexts()) {
            if (t.id == id)
                break;
            if (at < m_available->count() && m_available->item(at)->data(Qt::UserRole).toInt() == t.id)
                ++at;
        }
        m_available->insertItem(at, item);
    }
    updateButtons();
}

void CustomizeToolbarDialog::addSeparator()
{
    const int at = m_current->currentRow() < 0 ? m_current->count() : m_current->currentRow() + 1;
    m_current->insertItem(at, makeItem(kToolbarSeparator));
    m_current->setCurrentRow(at);
    updateButtons();
}

void CustomizeToolbarDialog::moveSelected(int delta)
{
    const int row = m_current->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= m_current->count())
        return;
    QListWidgetItem* item = m_current->takeItem(row);
    m_current->insertItem(to, item);
    m_current->setCurrentRow(to);
    updateButtons();
}

void CustomizeToolbarDialog::resetToDefault()
{
    fill(defaultToolbarItems());
}

void CustomizeToolbarDialog::updateButtons()
{
    const int row = m_current->currentRow();
    m_add->setEnabled(m_available->currentRow() >= 0);
    m_remove->setEnabled(row >= 0);
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row >= 0 && row + 1 < m_current->count());
}

} // namespace tw

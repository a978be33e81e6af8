#include "gui/ResultsListKeys.h"

#include <QListView>
#include <QShortcut>

namespace tw {

namespace {

void selectRow(QListView* list, bool last)
{
    const QAbstractItemModel* model = list->model();
    if (!model || model->rowCount() == 0)
        return;
    const QModelIndex index = model->index(last ? model->rowCount() - 1 : 0, 0);
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    list->scrollTo(index);
}

} // namespace

void addListKeys(QListView* list, std::function<void()> openMenu)
{
    auto* menu = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), list, nullptr, nullptr, Qt::WidgetShortcut);
    QObject::connect(menu, &QShortcut::activated, list, std::move(openMenu));
    auto* first = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Home), list, nullptr, nullptr, Qt::WidgetShortcut);
    QObject::connect(first, &QShortcut::activated, list, [list] { selectRow(list, false); });
    auto* last = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_End), list, nullptr, nullptr, Qt::WidgetShortcut);
    QObject::connect(last, &QShortcut::activated, list, [list] { selectRow(list, true); });
}

} // namespace tw

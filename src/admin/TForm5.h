#pragma once

#include <QWidget>

class AccountTab;
class AdminTab;
class Database;
class ListEditorTab;
class ObjectImeis;
class ObjectTab;
class QTabWidget;
class RuleTab;
struct StationState;

// "Настройка базы данных": the administrator's editors of the shared tables,
// one tab each. The window keeps nothing between showings: a tab reads its
// rows every time it comes into view, and every change is written at once.
// Each tab holds its controls under their names.
class TForm5 : public QWidget
{
    Q_OBJECT

public:
    TForm5(StationState &state, Database &database, QWidget *parent = nullptr);
    ~TForm5() override;

    QTabWidget *PageControl1 = nullptr;
    ListEditorTab *TabSheet1 = nullptr;
    ObjectTab *TabSheet2 = nullptr;
    AccountTab *TabSheet3 = nullptr;
    ListEditorTab *TabSheet4 = nullptr;
    ListEditorTab *TabSheet5 = nullptr;
    RuleTab *TabSheet6 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    AdminTab *tab(int index) const;

    ObjectImeis *m_imeis;
};

#include "TForm5.h"

#include "StationState.h"

TForm5::TForm5(StationState &state, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("Настройка базы данных"));
    resize(480, 320);
}

#include "TForm7.h"

#include "StationState.h"

TForm7::TForm7(StationState &state, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
{
    setObjectName(QStringLiteral("TForm7"));
    setWindowTitle(QStringLiteral("Формирование отчета"));
    resize(480, 320);
}

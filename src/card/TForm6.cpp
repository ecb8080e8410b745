#include "TForm6.h"

#include "StationState.h"

TForm6::TForm6(StationState &state, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
{
    setObjectName(QStringLiteral("TForm6"));
    setWindowTitle(QStringLiteral("Банкомат"));
    resize(480, 320);
}

#pragma once

#include <QWidget>

struct StationState;

// "Банкомат". The window exists from start-up and is shown on demand.
class TForm6 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm6(StationState &state, QWidget *parent = nullptr);

private:
    StationState &m_state;
};

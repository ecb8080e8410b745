#pragma once

#include <QWidget>

struct StationState;

// "Настройка базы данных". The window exists from start-up and is shown on demand.
class TForm5 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm5(StationState &state, QWidget *parent = nullptr);

private:
    StationState &m_state;
};

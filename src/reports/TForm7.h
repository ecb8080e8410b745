#pragma once

#include <QWidget>

struct StationState;

// "Формирование отчета". The window exists from start-up and is shown on demand.
class TForm7 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm7(StationState &state, QWidget *parent = nullptr);

private:
    StationState &m_state;
};

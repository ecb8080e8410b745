#pragma once

#include <QIcon>

#include <functional>

class QPainter;

// An icon drawn by code on a square canvas of the given size, at the usual
// screen scales, so that it stays crisp on a high-DPI screen.
QIcon paintedIcon(int size, const std::function<void(QPainter &)> &draw);

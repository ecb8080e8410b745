#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

class Database;
class QLabel;
class QWidget;
struct StationState;

// Camera frames: fetched from an object's frame table into the file IMEI.jpg
// beside the executable, remembered with their time in Images.txt, and shown
// in the picture Image1 of the right-hand column with the time under it in
// Label11. A left click enlarges the picture over the object list and back;
// a right click puts it back and closes the column if no alarm is open.
class FrameStore final : public QObject
{
    Q_OBJECT

public:
    static constexpr int OpenWidth = 300;
    static constexpr int ClosedWidth = 1;
    static inline const QString NoTime = QStringLiteral("0000-00-00 00:00:00");

    // Panel4 is the right-hand column holding Image1 and Label11; OTable the
    // object list the enlarged picture covers; window the parent of message boxes.
    FrameStore(StationState &state, Database &database, QLabel *Image1, QLabel *Label11, QWidget *Panel4,
               QWidget *OTable, QWidget *window);

    // Tells whether the alarm group bar holds a group: the column stays open
    // while it does. Until it is set, the bar counts as empty.
    void setAlarmGroupsOpen(std::function<bool()> test);

    // Fetches the frame announced at date by a journal row of the object
    // imei, writes it to the object's frame file and shows it.
    void Image_From_Table(const QString &imei, const QString &date);
    // Shows the object's last fetched frame, or clears the picture.
    void OpenImage(const QString &imei);

    void Save_Image_Time(const QString &imei, const QString &dateTime);
    QString Load_Image_Time(const QString &imei) const;

    // Left click on the picture: enlarge over the object list, or put back.
    void Image1Click();
    // Right button on the picture: put back and close the column if no alarm is open.
    void Image1MouseDown(Qt::MouseButton button);

    // The object's frame file; empty for an IMEI that cannot name one.
    QString framePath(const QString &imei) const;
    // The frame shown, null when the picture is empty.
    const QImage &picture() const { return m_picture; }
    bool isEnlarged() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void show(QImage picture);
    void render();
    void enlarge();
    void restore();
    void closeColumnUnlessAlarms();

    StationState &m_state;
    Database &m_database;
    QLabel *m_image;
    QLabel *m_caption;
    QWidget *m_panel;
    QWidget *m_list;
    QWidget *m_window;
    std::function<bool()> m_alarmGroupsOpen;
    QImage m_picture;
    QSize m_normalMinimum;
    QSize m_normalMaximum;
    int m_layoutIndex = -1;
};

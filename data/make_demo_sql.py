#!/usr/bin/python3
"""Writes the demo content of orvex_base as SQL.

    make_demo_sql.py [OUTPUT]             the demo rows (stdout without OUTPUT)
    make_demo_sql.py --accounts [OUTPUT]  the server accounts of the demo operators

The rows are meant for a freshly created orvex_base (src/admin/schema.sql);
loading them again replaces the previous demo content. Journal and frame
times are relative to the moment of loading (NOW() on the server), spread
over the last three days, so the station always has something recent to
show. The output is the same on every run: a fixed seed drives the choices.
"""

import argparse
import random
import sys
from pathlib import Path

FRAMES_DIR = Path(__file__).resolve().parent / "frames"

GROUPS = ["Центр", "Север", "Юг"]

# (login, password, host, admin, number, groups). The rows go into users; the
# matching server accounts come from --accounts.
OPERATORS = [
    ("Pilot", "Pilot", "%", "1", "89161234567", ["Центр", "Север", "Юг"]),
    ("Operator", "operator1", "%", "0", "89167654321", ["Центр", "Север"]),
]

CANNED_TEXTS = [
    "Выезд группы",
    "Ложная тревога",
    "Связь с владельцем",
    "Вызвана полиция",
    "Объект осмотрен",
    "Владелец уведомлен",
    "Инкассация",
    "Техник вызван",
]

KEY_OWNERS = [
    ("01A3F2C4B900", "Петров А.В."),
    ("3A00F1C2D4E5", "Инкассация Север"),
    ("7B12C0DE0451", "Инкассация Юг"),
    ("0C44A9E17F20", "Сидоренко И.П."),
    ("5E9D03B2A118", "Техник Кузнецов"),
]

MODELS = [
    "NCR SelfServ 22", "NCR SelfServ 84", "Wincor ProCash 2050", "Wincor ProCash 280",
    "Diebold Opteva 520", "Diebold Opteva 720", "Hyosung MX5600", "GRG H22N",
    "Терминал QIWI", "Терминал Элекснет", "Терминал Киберплат",
]

OWNERS = [
    "Иванов Сергей Петрович", "Смирнова Ольга Викторовна", "Кузнецов Андрей Иванович",
    "Попова Екатерина Сергеевна", "Соколов Дмитрий Алексеевич", "Лебедева Наталья Юрьевна",
    "Козлов Михаил Олегович", "Новикова Татьяна Андреевна", "Морозов Алексей Николаевич",
    "Волкова Ирина Владимировна", "Соловьёв Павел Геннадьевич", "Васильев Игорь Борисович",
    "Зайцева Марина Петровна", "Павлов Николай Степанович", "Семёнова Елена Игоревна",
    "Голубев Артём Романович", "Виноградов Константин Ильич", "Богданова Анна Михайловна",
    "Фёдоров Виктор Аркадьевич", "Михайлова Светлана Юрьевна",
]

ADDRESSES = {
    "Центр": [
        "г. Москва, ул. Тверская, д. 12", "г. Москва, ул. Мясницкая, д. 26",
        "г. Москва, ул. Новый Арбат, д. 21", "г. Москва, ул. Петровка, д. 2",
        "г. Москва, ул. Кузнецкий Мост, д. 7", "г. Москва, ул. Большая Никитская, д. 15",
        "г. Москва, Лубянский пр., д. 5", "г. Москва, ул. Покровка, д. 17",
        "г. Москва, Сретенский б-р, д. 6", "г. Москва, ул. Маросейка, д. 9",
        "г. Москва, ул. Сретенка, д. 28", "г. Москва, Чистопрудный б-р, д. 12",
        "г. Москва, ул. Пятницкая, д. 33", "г. Москва, ул. Ильинка, д. 4",
    ],
    "Север": [
        "г. Москва, Дмитровское ш., д. 89", "г. Москва, ул. Дыбенко, д. 7",
        "г. Москва, Ленинградское ш., д. 16А", "г. Москва, ул. Лескова, д. 14",
        "г. Москва, Алтуфьевское ш., д. 70", "г. Долгопрудный, Новый б-р, д. 3",
        "г. Химки, ул. Кирова, д. 24", "г. Москва, ул. Софьи Ковалевской, д. 1",
        "г. Москва, Ленинградский пр., д. 37,\r\nкорп. 9", "г. Москва, ул. Бестужевых, д. 27",
        "г. Москва, Коровинское ш., д. 10", "г. Лобня, ул. Ленина, д. 21",
    ],
    "Юг": [
        "г. Москва, Варшавское ш., д. 87Б", "г. Москва, Каширское ш., д. 61",
        "г. Москва, ул. Перерва, д. 43", "г. Москва, ул. Кировоградская, д. 9",
        "г. Подольск, ул. Ленина, д. 107", "г. Видное, Советская пл., д. 4",
        "г. Москва, ул. Борисовские Пруды, д. 26", "г. Москва, ул. Генерала Белова, д. 35",
        "г. Москва, Севастопольский пр., д. 11Е", "г. Москва, ул. Мусы Джалиля, д. 38",
        "г. Домодедово, Каширское ш., д. 4",
    ],
    "": [
        "г. Москва, ул. Складочная, д. 1, стр. 6", "г. Москва, ул. Электрозаводская, д. 21",
        "г. Реутов, Носовихинское ш., д. 45",
    ],
}

REFINEMENTS = [
    "ТЦ «Галерея», 1 этаж", "холл отделения банка", "вход со двора", "у выхода из метро",
    "АЗС, торговый зал", "ТЦ «Капитолий», фудкорт", "вестибюль поликлиники",
    "супермаркет «Перекрёсток»", "вокзал, зал ожидания", "бизнес-центр, ресепшен",
    "", "",
]

# Alarm codes and their texts as the station shows them.
ALARM_TEXTS = {
    100: "Открыта инженерная панель",
    101: "Открыт сейф",
    102: "Сработал датчик удара",
    103: "Сработал универсальный вход",
    110: "Сработал датчик перемещения",
    111: "Пропало внешнее напряжение",
    112: "Низкий заряд аккумулятора",
    114: "Вскрытие корпуса прибора",
    115: "Объект не отвечает",
}

# Bits of the unit's status word that an alarm leaves set.
ALARM_STATUS_BITS = {100: 20, 101: 21, 102: 22, 103: 23, 110: 7, 111: 0, 114: 9}

# Codes of the 40 objects: most guarded or disarmed, a few offline, two alarms
# in processing and a handful of fresh alarms.
STATES = [2] * 17 + [1] * 10 + [0] * 4 + [90] * 2 + [101, 115, 102, 111, 112, 100, 114]

EVENT_RULES = [
    # (name, object index or group, source, action)
    ("Взятие по ключу", 0, "ING", "ARM"),
    ("Снятие утром", "G_Центр", "08:00", "DISARM"),
    ("Постановка днём", "G_Север", "12:30", "ARM"),
    ("Сирена при вскрытии", 3, "TUMPER", "SIREN ON"),
    ("Кадр при ударе", 5, "VIBRA", "PICTURE"),
    ("Блокировка сейфа", 7, "SEIF", "LOCK ON"),
    ("Сброс по питанию", "G_Юг", "POW", "RESET"),
]

OPERATOR_COMMANDS = ["Запрос состояния", "Запрос кадра с камеры", "Выключить терминал",
                     "Включить терминал", "Взять под охрану", "Снять с охраны", "Включить сирену",
                     "Выключить сирену"]

FRAME_EVENT = "Кадр с камеры"
SERVER_USER = "Сервер"

DAY = 24 * 3600
HISTORY_DAYS = 30     # the journal reaches this many days back
SPAN = 3 * DAY - 600   # keep every row inside the last three days


def sql_text(value):
    """A quoted SQL string literal (backslash escapes, as the server defaults to)."""
    out = value.replace("\\", "\\\\").replace("'", "\\'")
    out = out.replace("\n", "\\n").replace("\r", "\\r").replace("\0", "\\0")
    return "'" + out + "'"


def luhn_digit(digits):
    total = 0
    for i, ch in enumerate(reversed(digits)):
        d = int(ch)
        if i % 2 == 0:
            d *= 2
            if d > 9:
                d -= 9
        total += d
    return str((10 - total % 10) % 10)


def phone(rng):
    return "89" + "".join(rng.choice("0123456789") for _ in range(9))


class Demo:
    def __init__(self):
        self.rng = random.Random(20110901)
        self.frames = sorted(FRAMES_DIR.glob("*.jpg"))
        if not self.frames:
            sys.exit("make_demo_sql: no frames in %s" % FRAMES_DIR)
        self.used_seconds = set()
        self.objects = []
        self.messages = []      # (seconds ago, imei, type, event, group, user)
        self.frame_rows = {}    # imei -> [(seconds ago, frame file)]
        self.make_objects()
        self.make_journal()
        self.make_history()
        self.check_editor_limits()

    def make_objects(self):
        rng = self.rng
        groups = ["Центр"] * 14 + ["Север"] * 12 + ["Юг"] * 11 + [""] * 3
        states = STATES[:]
        rng.shuffle(states)
        addresses = {g: list(a) for g, a in ADDRESSES.items()}
        tacs = ["35328104", "35913206", "86103802"]
        for i, group in enumerate(groups):
            body = tacs[i % len(tacs)] + "%06d" % rng.randrange(1000000)
            imei = body + luhn_digit(body)
            state = states[i]
            ohrana = 0 if state == 1 else 1 if state in (2, 90) or state >= 100 else rng.choice((0, 1))
            tstate = 0 if rng.random() < 0.12 else 1
            status = (1 << 3) | (1 << 10) | (1 << 11)      # SIM 1, call buttons released
            if rng.random() < 0.15:
                status &= ~(1 << 3)                       # working on SIM 2
            if tstate == 0:
                status |= 1 << 19                         # terminal power switched off
            if state in ALARM_STATUS_BITS:
                status |= 1 << ALARM_STATUS_BITS[state]
            if state in (101, 114):
                status |= 1 << 14                         # internal siren sounding
            self.objects.append({
                "IMEI": imei,
                "Name": MODELS[i % len(MODELS)],
                "Number1": phone(rng),
                "Number2": phone(rng) if rng.random() < 0.6 else "",
                "Owner": OWNERS[i % len(OWNERS)],
                "Num_owner": phone(rng),
                "Address": addresses[group].pop(0),
                "Addr_": rng.choice(REFINEMENTS),
                "Timeout": rng.choice((5, 10, 15, 30, 60)),
                "Group_": group,
                "State": state,
                "Ohrana": ohrana,
                "TState": tstate,
                "Status": status,
                "camera": False,
            })
        # Units with a camera: some alarmed objects and a few quiet ones.
        for obj in self.objects:
            if obj["State"] in (101, 102, 90, 114) or self.rng.random() < 0.12:
                obj["camera"] = True

    def check_editor_limits(self):
        # The editors cut longer texts; demo rows must survive an edit unchanged.
        limits = {"Name": 20, "Number1": 11, "Number2": 11, "Owner": 40, "Num_owner": 11,
                  "Address": 100, "Addr_": 40}
        for obj in self.objects:
            for column, limit in limits.items():
                assert len(obj[column]) <= limit, (column, obj[column])
        assert all(len(t) <= 20 for t in CANNED_TEXTS)
        assert all(len(k) <= 12 and len(o) <= 20 for k, o in KEY_OWNERS)
        for login, password, host, _admin, number, _groups in OPERATORS:
            assert len(login) <= 16 and len(password) <= 16 and len(host) <= 15 and len(number) <= 11

    def moment(self, low, high):
        """A free moment between low and high seconds ago."""
        low, high = max(60, int(low)), min(SPAN, int(high))
        for _ in range(1000):
            s = self.rng.randint(min(low, high), max(low, high))
            if s not in self.used_seconds:
                self.used_seconds.add(s)
                return s
        raise RuntimeError("no free moment left")

    def later(self, t, low, high):
        """A free moment low..high seconds after the moment t (seconds ago)."""
        return self.moment(t - high, t - low)

    def add(self, t, obj, kind, event, user=SERVER_USER):
        self.messages.append((t, obj["IMEI"], kind, event, obj["Group_"], user))

    def add_frame(self, t, obj, frame=None):
        frame = frame or self.rng.choice(self.frames)
        self.frame_rows.setdefault(obj["IMEI"], []).append((t, frame))
        self.add(t, obj, "Событие", FRAME_EVENT)

    def operator_for(self, obj):
        # Operator watches only Центр and Север.
        if obj["Group_"] in ("Центр", "Север") and self.rng.random() < 0.5:
            return "Operator"
        return "Pilot"

    def handled_alarm(self, obj, t, code):
        rng = self.rng
        self.add(t, obj, "Тревога", ALARM_TEXTS[code])
        if obj["camera"]:
            opened = FRAMES_DIR / "safe_open.jpg"
            self.add_frame(self.later(t, 3, 20), obj, opened if code in (101, 114) and opened.exists() else None)
        who = self.operator_for(obj)
        t = self.later(t, 25, 180)
        self.add(t, obj, "Событие", "Тревога принята в обработку", who)
        for text in rng.sample(CANNED_TEXTS, rng.randint(1, 2)):
            t = self.later(t, 30, 400)
            self.add(t, obj, "Событие", text, who)
        t = self.later(t, 120, 1500)
        self.add(t, obj, "Событие", "Тревога обработана", who)

    def make_journal(self):
        rng = self.rng
        for obj in self.objects:
            state = obj["State"]
            # Service visits: disarmed with a key, armed again after the work.
            for _ in range(rng.randint(1, 3)):
                key, _owner = rng.choice(KEY_OWNERS)
                t = self.moment(4 * 3600, SPAN - 4 * 3600)
                self.add(t, obj, "Охрана", "Снят с охраны ключом " + key)
                if rng.random() < 0.5:
                    self.add(self.later(t, 60, 600), obj, "Команда", "Запрос состояния", self.operator_for(obj))
                self.add(self.later(t, 1200, 3 * 3600), obj, "Охрана", "Взят под охрану ключом " + key)
            if state == 1:
                self.add(self.moment(3600, 20 * 3600), obj, "Охрана", "Снят с охраны")
            # Alarms handled earlier.
            if rng.random() < 0.45:
                code = rng.choice([c for c in ALARM_TEXTS if c != 115])
                self.handled_alarm(obj, self.moment(6 * 3600, SPAN - 3 * 3600), code)
            # Operators' commands and the answers of the unit.
            for _ in range(rng.randint(0, 3)):
                t = self.moment(2 * 3600, SPAN)
                command = rng.choice(OPERATOR_COMMANDS)
                if command == "Запрос кадра с камеры" and not obj["camera"]:
                    command = "Запрос состояния"
                self.add(t, obj, "Команда", command, self.operator_for(obj))
                if command == "Запрос кадра с камеры":
                    self.add_frame(self.later(t, 5, 40), obj)
            if rng.random() < 0.3:
                t = self.moment(3600, SPAN)
                self.add(t, obj, "Событие", "Потеря связи с объектом")
                self.add(self.later(t, 60, 1800), obj, "Событие", "Объект на связи")
            # The present state of the object.
            if state == 0:
                self.add(self.moment(600, 6 * 3600), obj, "Событие", "Потеря связи с объектом")
            elif state == 90:
                t = self.moment(900, 3 * 3600)
                self.add(t, obj, "Тревога", ALARM_TEXTS[rng.choice((101, 102, 110))])
                if obj["camera"]:
                    self.add_frame(self.later(t, 3, 20), obj)
                self.add(self.later(t, 30, 240), obj, "Событие", "Тревога принята в обработку",
                         self.operator_for(obj))
            elif state >= 100:
                t = self.moment(120, 3600)
                self.add(t, obj, "Тревога", ALARM_TEXTS[state])
                if obj["camera"]:
                    self.add_frame(self.later(t, 3, 20), obj)
        # Oldest first: the journal takes the server's order as the order of time.
        self.messages.sort(key=lambda m: -m[0])

    def make_history(self):
        """The month before the last three days: hourly test reports, the daily
        guard cycle and now and then an alarm, so that a month report has the
        traffic of a real network (some tens of thousands of rows)."""
        rng = self.rng
        for day in range(3, HISTORY_DAYS):
            for i, obj in enumerate(self.objects):
                # Each object has its own 80-second slot in every hour, so no
                # two rows share a moment.
                def at(hour, offset):
                    return day * DAY + (23 - hour) * 3600 + i * 80 + offset
                for hour in range(24):
                    if rng.random() < 0.97:
                        self.messages.append((at(hour, rng.randrange(60)), obj["IMEI"], "Событие",
                                              "Тестовое сообщение", obj["Group_"], SERVER_USER))
                key, _owner = rng.choice(KEY_OWNERS)
                self.messages.append((at(rng.randint(7, 9), 60 + rng.randrange(10)), obj["IMEI"], "Охрана",
                                      "Снят с охраны ключом " + key, obj["Group_"], SERVER_USER))
                self.messages.append((at(rng.randint(19, 21), 60 + rng.randrange(10)), obj["IMEI"], "Охрана",
                                      "Взят под охрану ключом " + key, obj["Group_"], SERVER_USER))
                if rng.random() < 0.04:
                    hour = rng.randint(0, 22)
                    who = self.operator_for(obj)
                    self.messages.append((at(hour, 70 + rng.randrange(5)), obj["IMEI"], "Тревога",
                                          ALARM_TEXTS[rng.choice([c for c in ALARM_TEXTS if c != 115])],
                                          obj["Group_"], SERVER_USER))
                    self.messages.append((at(hour, 75 + rng.randrange(5)), obj["IMEI"], "Команда",
                                          "Запрос состояния", obj["Group_"], who))
        self.messages.sort(key=lambda m: -m[0])

    # Output

    def rows_sql(self):
        out = []
        w = out.append
        w("SET NAMES utf8mb4;")
        w("SET @now = NOW();")
        for table in ("messages", "objects", "users", "groups", "text_mes", "key_owner", "events"):
            w("DELETE FROM orvex_base.%s;" % table)

        w("INSERT INTO orvex_base.groups(Name) VALUES %s;" % ",".join("(%s)" % sql_text(g) for g in GROUPS))

        cols = ["IMEI", "Name", "Number1", "Number2", "Owner", "Num_owner", "Address", "Addr_",
                "Timeout", "Group_", "State", "Ohrana", "TState", "Status"]
        values = []
        for obj in self.objects:
            values.append("(" + ",".join(sql_text(str(obj[c])) if isinstance(obj[c], str) else str(obj[c])
                                         for c in cols) + ")")
        w("INSERT INTO orvex_base.objects(%s) VALUES\n%s;" % (",".join(cols), ",\n".join(values)))

        values = []
        for login, password, host, admin, number, groups in OPERATORS:
            values.append("(%s)" % ",".join(sql_text(v) for v in
                                            (login, password, host, admin, number, "".join(g + "\n" for g in groups))))
        w("INSERT INTO orvex_base.users(Login,Pass,Host,Admin,Number,Groups) VALUES\n%s;" % ",\n".join(values))

        w("INSERT INTO orvex_base.text_mes(Text) VALUES %s;" % ",".join("(%s)" % sql_text(t) for t in CANNED_TEXTS))
        w("INSERT INTO orvex_base.key_owner(Keycod,Owner) VALUES %s;"
          % ",".join("(%s,%s)" % (sql_text(k), sql_text(o)) for k, o in KEY_OWNERS))

        values = []
        for name, target, source, action in EVENT_RULES:
            watched = self.objects[target]["IMEI"] if isinstance(target, int) else target
            values.append("(%s)" % ",".join(sql_text(v) for v in (name, watched, source, action)))
        w("INSERT INTO orvex_base.events(Name,Object,Source_,Action_) VALUES\n%s;" % ",\n".join(values))

        # One row per statement would be slow to load; chunks keep the order.
        for start in range(0, len(self.messages), 100):
            chunk = self.messages[start:start + 100]
            values = ["(%s,DATE_SUB(@now, INTERVAL %d SECOND),%s,%s,%s,%s)"
                      % (sql_text(imei), ago, sql_text(kind), sql_text(event), sql_text(group), sql_text(user))
                      for ago, imei, kind, event, group, user in chunk]
            w("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES\n%s;" % ",\n".join(values))

        images = {}
        for obj in self.objects:
            if not obj["camera"]:
                continue
            table = "orvex_base.o_" + obj["IMEI"]
            w("DROP TABLE IF EXISTS %s;" % table)
            w("CREATE TABLE %s (\n"
              "    Date  DATETIME    NOT NULL,\n"
              "    Event VARCHAR(64) NOT NULL DEFAULT '',\n"
              "    Image MEDIUMBLOB  NOT NULL,\n"
              "    KEY (Date)\n"
              ") ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;" % table)
            for ago, frame in sorted(self.frame_rows.get(obj["IMEI"], []), key=lambda f: -f[0]):
                if frame not in images:
                    images[frame] = frame.read_bytes().hex().upper()
                w("INSERT INTO %s(Date,Event,Image) VALUES(DATE_SUB(@now, INTERVAL %d SECOND),%s,X'%s');"
                  % (table, ago, sql_text(FRAME_EVENT), images[frame]))
        return "\n".join(out) + "\n"


def accounts_sql():
    out = []
    # Set up by the database administrator once: the role that may read the
    # objects' frame tables, which the frames' writer opens to it as it makes
    # them (here, the demo's frame tables that exist).
    out.append("DROP ROLE IF EXISTS orvex_frames;")
    out.append("CREATE ROLE orvex_frames;")
    for obj in Demo().objects:
        if obj["camera"]:
            out.append("GRANT SELECT ON orvex_base.o_%s TO orvex_frames;" % obj["IMEI"])
    first_admin = next(op[0] for op in OPERATORS if op[3] == "1")
    for login, password, host, admin, _number, _groups in OPERATORS:
        is_first_admin = login == first_admin
        login, password, host = (sql_text(v)[1:-1] for v in (login, password, host))
        user = "'%s'@'%s'" % (login, host)
        out.append("DROP USER IF EXISTS %s;" % user)
        # The account and grants the account editor gives an operator: no
        # passwords, no column of an object but its state.
        out.append("CREATE USER %s IDENTIFIED BY '%s';" % (user, password))
        out.append("GRANT SELECT ON orvex_base.objects TO %s;" % user)
        out.append("GRANT UPDATE (State) ON orvex_base.objects TO %s;" % user)
        out.append("GRANT SELECT,INSERT ON orvex_base.messages TO %s;" % user)
        out.append("GRANT SELECT (Login,Admin,Number,Groups) ON orvex_base.users TO %s;" % user)
        out.append("GRANT SELECT ON orvex_base.text_mes TO %s;" % user)
        out.append("GRANT orvex_frames TO %s;" % user)
        if admin == "1":
            out.append("GRANT SELECT,INSERT,UPDATE,DELETE ON `orvex\\_base`.* TO %s;" % user)
        if is_first_admin:
            # Set up by the database administrator, not by the station: the
            # first administrator creates the other operators' accounts and
            # passes the grants above on to them.
            out.append("GRANT CREATE USER ON *.* TO %s;" % user)
            out.append("GRANT SELECT,INSERT,UPDATE,DELETE ON `orvex\\_base`.* TO %s WITH GRANT OPTION;" % user)
            out.append("GRANT orvex_frames TO %s WITH ADMIN OPTION;" % user)
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description="Demo content of orvex_base as SQL.")
    parser.add_argument("--accounts", action="store_true",
                        help="write the server accounts of the demo operators instead of the rows")
    parser.add_argument("output", nargs="?", help="file to write (default: standard output)")
    args = parser.parse_args()

    text = accounts_sql() if args.accounts else Demo().rows_sql()
    if args.output:
        Path(args.output).write_text(text, encoding="utf-8")
    else:
        sys.stdout.reconfigure(encoding="utf-8")
        sys.stdout.write(text)


if __name__ == "__main__":
    main()

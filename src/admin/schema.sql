-- The database of the ORVEX network, shared by the stations and the other
-- writers. Run as one multi-statement text; every statement is repeatable.
--
-- Texts are stored in cp1251; the stations talk utf8mb4 and the server
-- converts. The collation is binary and NO PAD, so that equality is exact
-- text equality as the station means it: 'Север' is not 'север', and the
-- journal's "no group" filter Group_=' ' does not match objects whose group
-- is empty. A text that cp1251 cannot hold is refused, not stored as '?'.
--
-- Date columns are DATETIME without fractions: they compare chronologically
-- with 'yyyy-MM-dd HH:mm:ss' literals and read back in exactly that form.

CREATE DATABASE IF NOT EXISTS orvex_base
    CHARACTER SET cp1251 COLLATE cp1251_nopad_bin;

-- The journal. Queries filter by IMEI or by group and a period and take the
-- rows in the order the server returns them as oldest first. Both indexes
-- therefore yield rows by Date whichever the optimizer picks: an index
-- leading with Group_ would hand out a several-group journal group by group.
CREATE TABLE IF NOT EXISTS orvex_base.messages (
    IMEI    VARCHAR(32)  NOT NULL DEFAULT '',
    Date    DATETIME     NOT NULL,
    Type    VARCHAR(32)  NOT NULL DEFAULT '',
    Event   VARCHAR(500) NOT NULL DEFAULT '',
    Group_  VARCHAR(255) NOT NULL DEFAULT '',
    User    VARCHAR(80)  NOT NULL DEFAULT '',
    KEY messages_imei_date (IMEI, Date),
    KEY messages_date_group (Date, Group_)
) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;

CREATE TABLE IF NOT EXISTS orvex_base.objects (
    IMEI      VARCHAR(32)  NOT NULL,
    Name      VARCHAR(100) NOT NULL DEFAULT '',
    Number1   VARCHAR(32)  NOT NULL DEFAULT '',
    Number2   VARCHAR(32)  NOT NULL DEFAULT '',
    Owner     VARCHAR(100) NOT NULL DEFAULT '',
    Num_owner VARCHAR(32)  NOT NULL DEFAULT '',
    Address   VARCHAR(500) NOT NULL DEFAULT '',
    Addr_     VARCHAR(100) NOT NULL DEFAULT '',
    Timeout   INT UNSIGNED NOT NULL DEFAULT 0,
    Group_    VARCHAR(255) NOT NULL DEFAULT '',
    State     TINYINT UNSIGNED NOT NULL DEFAULT 0,
    Ohrana    TINYINT UNSIGNED NOT NULL DEFAULT 0,
    TState    TINYINT UNSIGNED NOT NULL DEFAULT 0,
    -- four bytes of the unit's status word, least significant first
    Status    INT UNSIGNED NOT NULL DEFAULT 0,
    PRIMARY KEY (IMEI),
    KEY objects_group (Group_)
) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;

-- SELECT * shows these columns by position: keep Login..Groups first and in
-- this order. Admin is text because only the exact "1" makes an administrator.
CREATE TABLE IF NOT EXISTS orvex_base.users (
    Login   VARCHAR(80)  NOT NULL,
    Pass    VARCHAR(128) NOT NULL DEFAULT '',
    Host    VARCHAR(255) NOT NULL DEFAULT '',
    Admin   VARCHAR(8)   NOT NULL DEFAULT '0',
    Number  VARCHAR(32)  NOT NULL DEFAULT '',
    Groups  TEXT         NOT NULL DEFAULT '',
    PRIMARY KEY (Login)
) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;

CREATE TABLE IF NOT EXISTS orvex_base.groups (
    Name VARCHAR(255) NOT NULL,
    PRIMARY KEY (Name)
) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;

CREATE TABLE IF NOT EXISTS orvex_base.text_mes (
    Text VARCHAR(255) NOT NULL,
    PRIMARY KEY (Text)
) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;

CREATE TABLE IF NOT EXISTS orvex_base.key_owner (
    Keycod VARCHAR(64)  NOT NULL,
    Owner  VARCHAR(100) NOT NULL DEFAULT '',
    PRIMARY KEY (Keycod)
) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;

-- SELECT * shows Name, Object, Source_, Action_ by position. A rule is known
-- by (Object, Source_, Action_) and rules differing only in Name may coexist,
-- so that key is an index, not a unique one.
CREATE TABLE IF NOT EXISTS orvex_base.events (
    Name    VARCHAR(255) NOT NULL DEFAULT '',
    Object  VARCHAR(300) NOT NULL DEFAULT '',
    Source_ VARCHAR(32)  NOT NULL DEFAULT '',
    Action_ VARCHAR(32)  NOT NULL DEFAULT '',
    KEY events_rule (Object, Source_, Action_)
) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;

-- One camera frame table per object, o_ followed by its IMEI, is created by
-- whoever registers the object, not here. Its shape:
--   CREATE TABLE orvex_base.o_<IMEI> (
--       Date  DATETIME    NOT NULL,
--       Event VARCHAR(64) NOT NULL DEFAULT '',
--       Image MEDIUMBLOB  NOT NULL,
--       KEY (Date)
--   ) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;
-- Image holds a whole JPEG file (MEDIUMBLOB: up to 16 MB, a BLOB stops at 64 KB).

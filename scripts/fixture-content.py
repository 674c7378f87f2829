#!/usr/bin/env python3
"""Print the SQL that fills the recovery test databases.

Everything is derived from a fixed-seed generator so two runs produce the
same rows (the expected dumps are compared byte for byte).
"""

import sys

# Private 64-bit generator: Python's own `random` could change between
# versions, which would silently change the fixtures.
class Rng:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n):
        return self.next() % n

    def between(self, lo, hi):
        return lo + self.below(hi - lo + 1)

    def pick(self, seq):
        return seq[self.below(len(seq))]

    def chance(self, percent):
        return self.below(100) < percent


WORDS = ("alpha bravo charlie delta echo foxtrot golf hotel india juliet kilo "
         "lima mike november oscar papa quebec romeo sierra tango uniform "
         "victor whiskey xray yankee zulu amber basalt cedar dune ember fjord "
         "granite harbor iris jasper kelp lagoon meadow nectar orchid pebble "
         "quartz river saffron thistle umber velvet willow yarrow zephyr").split()
FIRST = ["Anna", "Bob", "Chloé", "Dmitri", "Eva", "Fritz", "Grace", "Hiro",
         "Ines", "Jürgen", "Kasia", "Liam", "Marta", "Noah", "Olga", "Pierre",
         "Quinn", "Rosa", "Sven", "Tomás", "Uma", "Vera", "Wei", "Xenia",
         "Yusuf", "Zoë", "Łukasz", "Søren", "山田", "Ñuño"]
LAST = ["Smith", "Müller", "O'Brien", "García", "Nowak", "Kowalski", "Rossi",
        "Dubois", "Jensen", "Tanaka", "Ivanov", "Costa", "Novák", "Weiß",
        "Yılmaz", "Back\\slash", "Lee", "Brown", "Schröder", "Andersson"]
FIRST_L1 = ["Anna", "Björn", "Chloé", "Dörte", "Émile", "François", "Günter",
            "Hélène", "Ingrid", "José", "Jürgen", "Maël", "Søren", "Zoë"]
LAST_L1 = ["Müller", "Weiß", "O'Neil", "Gärtner", "Façade", "Straße", "Øster",
           "Núñez", "Lefèvre", "Åberg", "Dupont", "Martin"]
CITIES = ["Berlin", "København", "Zürich", "São Paulo", "Kraków", "Łódź",
          "Reykjavík", "東京", "Paris", "New York", None]


def q(value):
    """SQL literal for a Python value (str, bytes, int, float, None)."""
    if value is None:
        return "NULL"
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, (int, float)):
        return repr(value)
    if isinstance(value, (bytes, bytearray)):
        return "X'" + bytes(value).hex() + "'" if value else "''"
    out = []
    for ch in value:
        if ch == "\\":
            out.append("\\\\")
        elif ch == "'":
            out.append("\\'")
        elif ch == "\0":
            out.append("\\0")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\x1a":
            out.append("\\Z")
        else:
            out.append(ch)
    return "'" + "".join(out) + "'"


class Out:
    def __init__(self):
        self.parts = []

    def __call__(self, text):
        self.parts.append(text.rstrip() + "\n")

    def insert(self, table, columns, rows, batch=200):
        cols = ", ".join(f"`{c}`" for c in columns)
        for i in range(0, len(rows), batch):
            values = ",\n".join("(" + ", ".join(v if isinstance(v, Raw) else q(v)
                                                for v in row) + ")"
                                for row in rows[i:i + batch])
            self(f"INSERT INTO {table} ({cols}) VALUES\n{values};")


class Raw(str):
    """Already-formatted SQL expression."""


def sentence(rng, lo, hi):
    return " ".join(rng.pick(WORDS) for _ in range(rng.between(lo, hi)))


def long_text(tag, size):
    # Numbered lines: compresses well, yet a chunk out of place is visible.
    lines, total, n = [], 0, 0
    while total < size:
        line = f"{tag} line {n:05d}: the quick brown fox jumps over the lazy dog\n"
        lines.append(line)
        total += len(line)
        n += 1
    return "".join(lines)[:size]


def long_binary(seed, size):
    return bytes(((i * 7) + (i >> 8) + seed) & 0xFF for i in range(size))


def date(rng, y0=2005, y1=2023):
    return f"{rng.between(y0, y1):04d}-{rng.between(1, 12):02d}-{rng.between(1, 28):02d}"


def datetime(rng, y0=2005, y1=2023):
    return (f"{date(rng, y0, y1)} {rng.between(0, 23):02d}:"
            f"{rng.between(0, 59):02d}:{rng.between(0, 59):02d}")


def money(rng, lo, hi):
    cents = rng.between(lo * 100, hi * 100)
    sign = "-" if cents < 0 else ""
    cents = abs(cents)
    return Raw(f"{sign}{cents // 100}.{cents % 100:02d}")


# ---------------------------------------------------------------- shop

def shop(o):
    rng = Rng(101)
    o("CREATE DATABASE shop CHARACTER SET utf8mb3 COLLATE utf8mb3_general_ci;")
    o("USE shop;")
    o("""CREATE TABLE customers (
  id INT UNSIGNED NOT NULL AUTO_INCREMENT,
  name VARCHAR(80) NOT NULL,
  email VARCHAR(120) NULL,
  city VARCHAR(40) NULL,
  signup DATE NOT NULL,
  balance DECIMAL(12,2) NOT NULL DEFAULT 0.00,
  vip TINYINT(1) NOT NULL DEFAULT 0,
  PRIMARY KEY (id),
  KEY idx_city (city)
) ENGINE=InnoDB ROW_FORMAT=COMPACT COMMENT='compact row format';""")
    rows = []
    for i in range(1, 301):
        name = f"{rng.pick(FIRST)} {rng.pick(LAST)}"
        email = None if rng.chance(10) else f"user{i}@example.com"
        rows.append((name, email, rng.pick(CITIES), date(rng),
                     money(rng, -500, 20000), 1 if rng.chance(15) else 0))
    o.insert("customers", ["name", "email", "city", "signup", "balance", "vip"], rows)
    o("UPDATE customers SET name = CONCAT(name, ' (renamed, a much longer name)'), "
      "balance = balance + 1000 WHERE id % 10 = 3;")
    o("UPDATE customers SET city = NULL WHERE id % 25 = 7;")

    o("""CREATE TABLE order_log (
  id INT NOT NULL AUTO_INCREMENT,
  order_id INT NOT NULL,
  msg VARCHAR(255) NOT NULL,
  PRIMARY KEY (id)
) ENGINE=InnoDB;""")

    o("""CREATE TABLE orders (
  id INT NOT NULL AUTO_INCREMENT,
  customer_id INT UNSIGNED NOT NULL,
  ordered DATETIME NOT NULL,
  status ENUM('new','paid','shipped','cancelled') NOT NULL DEFAULT 'new',
  total DECIMAL(10,2) NOT NULL,
  note VARCHAR(255) NULL,
  PRIMARY KEY (id),
  KEY idx_customer (customer_id)
) ENGINE=InnoDB ROW_FORMAT=DYNAMIC COMMENT='dynamic row format';""")

    # Triggers: multi-line bodies; the literal holds a quote and backslashes.
    o("DELIMITER //")
    o("""CREATE TRIGGER orders_after_insert AFTER INSERT ON orders FOR EACH ROW
BEGIN
  -- audit trail for every new order
  INSERT INTO order_log (order_id, msg)
  VALUES (NEW.id, CONCAT('order ', NEW.id, ' isn''t shipped; see C:\\\\shop\\\\new'));
END//""")
    o("""CREATE TRIGGER orders_before_update BEFORE UPDATE ON orders FOR EACH ROW
BEGIN
  IF NEW.status <> OLD.status THEN
    SET NEW.note = CONCAT(IFNULL(OLD.note, ''), ' [', OLD.status, '->', NEW.status, ']');
  END IF;
END//""")
    o("DELIMITER ;")

    rows = []
    for i in range(1, 801):
        note = None if rng.chance(40) else sentence(rng, 2, 12)
        rows.append((rng.between(1, 300), datetime(rng, 2015, 2023),
                     rng.pick(["new", "paid", "shipped"]), money(rng, 1, 3000), note))
    o.insert("orders", ["customer_id", "ordered", "status", "total", "note"], rows)
    o("UPDATE orders SET status = 'cancelled' WHERE id % 17 = 0;")
    o("UPDATE orders SET total = total * 2 WHERE id % 29 = 1;")
    o("DELETE FROM orders WHERE id % 23 = 5;")
    o("DELETE FROM customers WHERE id % 31 = 11 AND id NOT IN (SELECT customer_id FROM orders);")
    o("DELETE FROM customers WHERE id IN (298, 299);")

    o("""CREATE VIEW order_summary AS
SELECT o.id AS order_id, c.name AS customer, c.city, o.total, o.status
FROM orders o JOIN customers c ON c.id = o.customer_id
WHERE o.status <> 'cancelled';""")

    # Off-page columns. DYNAMIC keeps only a 20-byte pointer in the row,
    # COMPACT keeps a 768-byte prefix, so both tables are worth having.
    blob_table = """CREATE TABLE {name} (
  id INT NOT NULL,
  title VARCHAR(100) NOT NULL,
  body MEDIUMTEXT NULL,
  payload MEDIUMBLOB NULL,
  PRIMARY KEY (id)
) ENGINE=InnoDB ROW_FORMAT={fmt};"""
    o(blob_table.format(name="documents", fmt="DYNAMIC"))
    docs = [
        (1, "short text, no payload", "just a few words", None),
        (2, "20k text", long_text("doc2", 20000), b"\x00\x01\x02\xff"),
        (3, "33k text + 24k blob", long_text("doc3", 33000), long_binary(3, 24000)),
        (4, "all null", None, None),
        (5, "47k text", long_text("doc5", 47000), b""),
        (6, "64k text + 40k blob", long_text("doc6", 64000), long_binary(6, 40000)),
        (7, "100k text", long_text("doc7", 100000), None),
        (8, "empty text", "", bytes(range(256))),
        (9, "8100 bytes, near the page limit", long_text("doc9", 8100), None),
        (10, "deleted later", long_text("doc10", 30000), long_binary(10, 20000)),
        (11, "updated later", "short before update", None),
    ]
    o.insert("documents", ["id", "title", "body", "payload"], docs, batch=1)
    o("DELETE FROM documents WHERE id = 10;")
    o("UPDATE documents SET body = " + q(long_text("doc11-updated", 52000)) +
      ", title = 'updated to 52k' WHERE id = 11;")
    o("UPDATE documents SET body = 'shrunk back to a short value' WHERE id = 2;")

    o(blob_table.format(name="attachments", fmt="COMPACT"))
    att = [
        (1, "compact 25k text", long_text("att1", 25000), None),
        (2, "compact short", "tiny", b"tiny"),
        (3, "compact nulls", None, None),
        (4, "compact 70k text + 21k blob", long_text("att4", 70000), long_binary(4, 21000)),
        (5, "compact 800 bytes (just over the prefix)", long_text("att5", 800), long_binary(5, 800)),
    ]
    o.insert("attachments", ["id", "title", "body", "payload"], att, batch=1)

    # Enough rows for a root page above a level of leaves.
    o("""CREATE TABLE ledger (
  id INT NOT NULL,
  account VARCHAR(20) NOT NULL,
  amount DECIMAL(12,2) NOT NULL,
  memo VARCHAR(60) NULL,
  booked DATE NOT NULL,
  PRIMARY KEY (id),
  KEY idx_account (account, booked)
) ENGINE=InnoDB;""")
    rows = []
    for i in range(1, 6001):
        rows.append((i, f"ACC-{rng.between(1, 400):04d}", money(rng, -10000, 10000),
                     None if rng.chance(20) else sentence(rng, 1, 6), date(rng)))
    o.insert("ledger", ["id", "account", "amount", "memo", "booked"], rows, batch=500)
    o("DELETE FROM ledger WHERE id % 97 = 0 OR id BETWEEN 3001 AND 3100;")
    o("UPDATE ledger SET memo = CONCAT('corrected: ', IFNULL(memo, '-')) WHERE id % 50 = 1;")

    # Keys of ~700 bytes leave room for ~20 node pointers per page, so a few
    # hundred rows already need a three-level tree.
    o("""CREATE TABLE deep_tree (
  k VARCHAR(740) CHARACTER SET latin1 NOT NULL,
  n INT NOT NULL,
  PRIMARY KEY (k)
) ENGINE=InnoDB;""")
    order = list(range(1, 701))
    for i in range(len(order) - 1, 0, -1):
        j = rng.below(i + 1)
        order[i], order[j] = order[j], order[i]
    pad = "-" + "abcdefghij" * 69
    o.insert("deep_tree", ["k", "n"], [(f"key{n:05d}{pad}", n) for n in order], batch=100)
    o("DELETE FROM deep_tree WHERE n % 50 = 0;")

    # No primary key at all: InnoDB adds a hidden row id.
    o("""CREATE TABLE visits (
  page VARCHAR(100) NOT NULL,
  hits INT NOT NULL,
  day DATE NULL
) ENGINE=InnoDB;""")
    rows = []
    for i in range(150):
        rows.append((f"/{rng.pick(WORDS)}/{rng.pick(WORDS)}", rng.between(0, 5000),
                     None if i % 13 == 0 else date(rng, 2022, 2023)))
    rows += [("/dup", 4000, "2023-01-01")] * 3
    o.insert("visits", ["page", "hits", "day"], rows)
    o("DELETE FROM visits WHERE hits < 300;")

    # No primary key, but a UNIQUE NOT NULL key becomes the clustered index.
    o("""CREATE TABLE sessions (
  user_id INT NULL,
  token CHAR(32) NOT NULL,
  started DATETIME NOT NULL,
  UNIQUE KEY uk_token (token)
) ENGINE=InnoDB;""")
    rows = []
    for i in range(1, 121):
        token = f"{rng.next():016x}{rng.next():016x}"
        rows.append((None if i % 9 == 0 else rng.between(1, 300), token,
                     datetime(rng, 2023, 2023)))
    o.insert("sessions", ["user_id", "token", "started"], rows)
    o("DELETE FROM sessions WHERE user_id IS NULL AND started < '2023-06-01';")

    # Primary key columns declared in a different order than the columns.
    o("""CREATE TABLE inventory (
  a INT NOT NULL,
  b VARCHAR(30) NOT NULL,
  c INT NOT NULL,
  qty INT NOT NULL DEFAULT 0,
  PRIMARY KEY (c, a)
) ENGINE=InnoDB;""")
    rows = []
    for a in range(1, 21):
        for c in range(1, 11):
            rows.append((a, f"item {a}/{c} {rng.pick(WORDS)}", c * 10, rng.between(0, 99)))
    o.insert("inventory", ["a", "b", "c", "qty"], rows)
    o("UPDATE inventory SET qty = qty + 1000 WHERE a = 5;")
    o("DELETE FROM inventory WHERE c = 30 AND a > 10;")

    o("""CREATE TABLE wishlist (
  id INT NOT NULL AUTO_INCREMENT,
  customer_id INT UNSIGNED NOT NULL,
  item VARCHAR(100) NOT NULL,
  PRIMARY KEY (id)
) ENGINE=InnoDB;""")


# ---------------------------------------------------------------- legacy

def legacy(o):
    rng = Rng(202)
    o("CREATE DATABASE legacy CHARACTER SET latin1 COLLATE latin1_swedish_ci;")
    o("USE legacy;")
    o("""CREATE TABLE parts (
  id INT NOT NULL,
  code CHAR(8) NOT NULL,
  descr CHAR(40) NULL,
  price DECIMAL(9,2) NOT NULL,
  qty SMALLINT NOT NULL,
  weight DOUBLE NULL,
  added DATE NULL,
  PRIMARY KEY (id),
  UNIQUE KEY uk_code (code)
) ENGINE=MyISAM ROW_FORMAT=FIXED;""")
    rows = []
    for i in range(1, 401):
        rows.append((i, f"P{i:05d}", None if rng.chance(10) else sentence(rng, 1, 4)[:40],
                     money(rng, 0, 9999), rng.between(-100, 30000),
                     None if rng.chance(10) else rng.between(1, 100000) / 64,
                     None if rng.chance(5) else date(rng, 1995, 2010)))
    o.insert("parts", ["id", "code", "descr", "price", "qty", "weight", "added"], rows)
    o("DELETE FROM parts WHERE id % 10 = 4;")
    o("UPDATE parts SET descr = 'Größe geändert', qty = qty + 1 WHERE id % 15 = 2;")

    o("""CREATE TABLE counters (
  name CHAR(16) NOT NULL,
  val BIGINT NOT NULL,
  flag CHAR(1) NULL,
  KEY idx_name (name)
) ENGINE=MyISAM ROW_FORMAT=FIXED;""")
    rows = [(f"counter-{i:03d}", (i * 1000003) - 25000000, rng.pick(["Y", "N", None]))
            for i in range(1, 61)]
    o.insert("counters", ["name", "val", "flag"], rows)
    o("DELETE FROM counters WHERE val < 0;")
    # Re-inserted rows land in the holes the delete left.
    o.insert("counters", ["name", "val", "flag"],
             [(f"refill-{i}", i, "R") for i in range(1, 4)])

    o("""CREATE TABLE notes (
  id INT NOT NULL AUTO_INCREMENT,
  author VARCHAR(40) NOT NULL,
  title VARCHAR(200) NOT NULL,
  body TEXT NULL,
  PRIMARY KEY (id),
  KEY idx_author (author)
) ENGINE=MyISAM;""")
    rows = []
    for i in range(1, 301):
        rows.append((f"{rng.pick(FIRST_L1)} {rng.pick(LAST_L1)}", sentence(rng, 2, 8),
                     None if rng.chance(15) else sentence(rng, 3, 40)))
    o.insert("notes", ["author", "title", "body"], rows)
    o("DELETE FROM notes WHERE id % 9 = 2;")
    # Growing rows that no longer fit get continued in another block.
    o("UPDATE notes SET body = CONCAT(IFNULL(body, ''), ' ', REPEAT('Nachtrag: ergänzt. ', 12)) "
      "WHERE id % 7 = 3;")
    o("UPDATE notes SET title = CONCAT(title, ' - überarbeitet') WHERE id % 11 = 5;")
    o.insert("notes", ["author", "title", "body"],
             [("Zoë Åberg", "inserted after deletes", "fills a hole " * 3),
              ("José Núñez", "second refill", None)])

    o("""CREATE TABLE contacts (
  id INT NOT NULL,
  name VARCHAR(60) NOT NULL,
  phone VARCHAR(20) NULL,
  address VARCHAR(255) NULL,
  PRIMARY KEY (id)
) ENGINE=MyISAM ROW_FORMAT=DYNAMIC;""")
    rows = []
    for i in range(1, 201):
        rows.append((i, f"{rng.pick(FIRST_L1)} {rng.pick(LAST_L1)}",
                     None if rng.chance(20) else f"+49 {rng.between(100, 999)} {rng.between(10000, 99999)}",
                     None if rng.chance(20) else f"{rng.pick(LAST_L1)}straße {rng.between(1, 200)}"))
    o.insert("contacts", ["id", "name", "phone", "address"], rows)
    o("DELETE FROM contacts WHERE id % 8 = 0;")
    o("UPDATE contacts SET address = CONCAT(IFNULL(address, 'unbekannt'), ', Hinterhaus, "
      "3. Stock links, bei Familie Müller klingeln') WHERE id % 6 = 1;")

    # Pre-5.6 temporal encodings; the variable is global-only in MariaDB.
    o("SET GLOBAL mysql56_temporal_format = OFF;")
    old_times = """CREATE TABLE {name} (
  id INT NOT NULL,
  t TIME NULL,
  dt DATETIME NULL,
  ts TIMESTAMP NULL DEFAULT NULL,
  d DATE NULL,
  PRIMARY KEY (id)
) ENGINE={engine};"""
    o(old_times.format(name="old_times", engine="MyISAM"))
    o(old_times.format(name="old_times_innodb", engine="InnoDB"))
    o("SET GLOBAL mysql56_temporal_format = ON;")
    rows = [
        (1, "00:00:00", "1000-01-01 00:00:00", "1970-01-01 00:00:01", "1000-01-01"),
        (2, "838:59:59", "9999-12-31 23:59:59", "2038-01-19 03:14:07", "9999-12-31"),
        (3, "-838:59:59", "1999-12-31 23:59:59", "2000-01-01 00:00:00", "2000-02-29"),
        (4, "-00:00:01", "0000-00-00 00:00:00", None, "0000-00-00"),
        (5, None, None, None, None),
        (6, "12:34:56", "2012-06-30 23:59:59", "2012-06-30 23:59:59", "2012-06-30"),
    ]
    for i in range(7, 41):
        rows.append((i, f"{rng.between(-100, 100):d}:{rng.between(0, 59):02d}:{rng.between(0, 59):02d}",
                     datetime(rng, 1980, 2030), datetime(rng, 1990, 2030), date(rng, 1950, 2050)))
    for table in ("old_times", "old_times_innodb"):
        o.insert(table, ["id", "t", "dt", "ts", "d"], rows)
        o(f"DELETE FROM {table} WHERE id IN (10, 20);")


# ---------------------------------------------------------------- types

ALL_TYPES = """  id INT NOT NULL COMMENT 'row id',
  ti TINYINT NULL,
  tiu TINYINT UNSIGNED NULL,
  si SMALLINT NULL,
  siu SMALLINT UNSIGNED NULL,
  mi MEDIUMINT NULL,
  miu MEDIUMINT UNSIGNED NULL,
  i INT NULL COMMENT 'it''s a plain int',
  iu INT UNSIGNED NULL,
  bi BIGINT NULL,
  biu BIGINT UNSIGNED NULL,
  zf INT(8) UNSIGNED ZEROFILL NULL,
  f FLOAT NULL,
  d DOUBLE NULL,
  dec1 DECIMAL(10,2) NULL,
  dec2 DECIMAL(30,10) NULL,
  decu DECIMAL(12,4) UNSIGNED NULL,
  dt DATE NULL,
  tm TIME NULL,
  dtm DATETIME NULL,
  ts TIMESTAMP NULL DEFAULT NULL,
  yr YEAR NULL,
  tm3 TIME(3) NULL,
  dtm6 DATETIME(6) NULL,
  ts6 TIMESTAMP(6) NULL DEFAULT NULL,
  c_utf8 CHAR(10) CHARACTER SET utf8mb3 NULL,
  vc_utf8 VARCHAR(100) CHARACTER SET utf8mb3 NULL,
  c_latin1 CHAR(10) CHARACTER SET latin1 NULL,
  vc_latin1 VARCHAR(100) CHARACTER SET latin1 NULL,
  vc_mb4 VARCHAR(50) CHARACTER SET utf8mb4 NULL COMMENT 'four-byte characters',
  bin BINARY(8) NULL,
  vbin VARBINARY(32) NULL,
  en ENUM('','red','green','blue') NULL COMMENT 'first member is empty',
  st SET('a','b','c','d') NULL,
  b1 BIT(1) NULL,
  b10 BIT(10) NULL,
  b64 BIT(64) NULL"""

BLOB_TYPES = """,
  tb TINYBLOB NULL,
  bl BLOB NULL,
  mb MEDIUMBLOB NULL,
  lb LONGBLOB NULL,
  tt TINYTEXT NULL,
  tx TEXT NULL,
  mt MEDIUMTEXT NULL,
  lt LONGTEXT NULL"""

FIXED_COLS = ["id", "ti", "tiu", "si", "siu", "mi", "miu", "i", "iu", "bi", "biu",
              "zf", "f", "d", "dec1", "dec2", "decu", "dt", "tm", "dtm", "ts", "yr",
              "tm3", "dtm6", "ts6", "c_utf8", "vc_utf8", "c_latin1", "vc_latin1",
              "vc_mb4", "bin", "vbin", "en", "st", "b1", "b10", "b64"]
BLOB_COLS = ["tb", "bl", "mb", "lb", "tt", "tx", "mt", "lt"]


def bits(n):
    return Raw(f"b'{n:b}'")


def type_rows():
    r = Rng(303)
    rows = []
    # id, ints..., zf, f, d, dec1, dec2, decu, dt, tm, dtm, ts, yr, tm3, dtm6, ts6,
    # c_utf8, vc_utf8, c_latin1, vc_latin1, vc_mb4, bin, vbin, en, st, b1, b10, b64
    rows.append(([1, -128, 0, -32768, 0, -8388608, 0, -2147483648, 0,
                  -9223372036854775808, 0, 0, Raw("-3.4e38"), Raw("-1.7976931348623157e308"),
                  Raw("-99999999.99"), Raw("-99999999999999999999.9999999999"), Raw("0.0000"),
                  "1000-01-01", "-838:59:59", "1000-01-01 00:00:00", "1970-01-01 00:00:01",
                  1901, "-838:59:59.999", "1000-01-01 00:00:00.000000",
                  "1970-01-01 00:00:01.000000", "", "", "", "", "", b"", b"", "", "",
                  bits(0), bits(0), bits(0)],
                 [b"", b"", b"", b"", "", "", "", ""]))
    rows.append(([2, 127, 255, 32767, 65535, 8388607, 16777215, 2147483647, 4294967295,
                  9223372036854775807, 18446744073709551615, 99999999, Raw("3.4e38"),
                  Raw("1.7976931348623157e308"), Raw("99999999.99"),
                  Raw("99999999999999999999.9999999999"), Raw("99999999.9999"),
                  "9999-12-31", "838:59:59", "9999-12-31 23:59:59", "2038-01-19 03:14:07",
                  2155, "838:59:59.999", "9999-12-31 23:59:59.999999",
                  "2038-01-19 03:14:07.999999", "ZZZZZZZZZZ", "z" * 100, "ÿÿÿÿÿÿÿÿÿÿ",
                  "ÿ" * 100, "😀" * 50, b"\xff" * 8, b"\xff" * 32, "blue", "a,b,c,d",
                  bits(1), bits(1023), bits(2 ** 64 - 1)],
                 [b"\xff" * 255, b"\xfe" * 1000, b"\xfd" * 3000, b"\xfc" * 5000,
                  "t" * 255, "x" * 2000, "m" * 3000, "l" * 4000]))
    rows.append(([3, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, 1, Raw("1e-10"), Raw("1e-10"),
                  Raw("-0.01"), Raw("-0.0000000001"), Raw("0.0001"),
                  "2000-02-29", "-00:00:01", "2000-02-29 12:00:00", "2000-02-29 12:00:00",
                  2000, "-00:00:00.001", "2000-02-29 12:00:00.000001",
                  "2000-02-29 12:00:00.000001", "a", "a", "a", "a", "a", b"\x00", b"\x00",
                  "red", "a", bits(1), bits(1), bits(1)],
                 [b"\x00", b"\x00", b"\x00", b"\x00", "a", "a", "a", "a"]))
    # Every nullable column NULL.
    rows.append(([4] + [None] * (len(FIXED_COLS) - 1), [None] * len(BLOB_COLS)))
    # The text 'NULL' is not a NULL.
    rows.append(([5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 42, Raw("3.14159"), Raw("3.141592653589793"),
                  Raw("3.14"), Raw("3.1415926536"), Raw("3.1416"), "2024-05-06", "12:34:56",
                  "2024-05-06 07:08:09", "2024-05-06 07:08:09", 0, "12:34:56.789",
                  "2024-05-06 07:08:09.123456", "2024-05-06 07:08:09.654321",
                  "NULL", "NULL", "NULL", "NULL", "NULL", b"NULL", b"NULL", "green", "b,d",
                  bits(0), bits(512), bits(2 ** 63)],
                 [b"NULL", b"NULL", b"NULL", b"NULL", "NULL", "NULL", "NULL", "NULL"]))
    # Non-ASCII text in each character set.
    rows.append(([6, 100, 200, 1000, 50000, 100000, 10000000, 123456789, 3000000000,
                  1234567890123456789, 12345678901234567890, 7, Raw("-2.5e30"),
                  Raw("-2.5e30"), Raw("12345.67"), Raw("-12345678901234567890.0123456789"),
                  Raw("12345678.1234"), "1999-12-31", "100:00:00", "1999-12-31 23:59:59",
                  "1999-12-31 23:59:59", 1999, "-100:00:00.5", "1999-12-31 23:59:59.5",
                  "1999-12-31 23:59:59.5", "Grüße", "日本語のテキスト", "Grüße",
                  "Ça coûte 5€? Non: 5 £", "𝄞 music 🎵", "ab\x00\x01".encode("latin1"),
                  "Grüße".encode("utf8"), "", "c,a", bits(1), bits(0b1010101010),
                  bits(0x0123456789ABCDEF)],
                 [b"\x00\x01\x02", bytes(range(256)), b"Gr\xc3\xbc\xc3\x9fe", b"",
                  "Grüße 日本", "O'Brien said \"hi\" \\ bye", "line1\nline2\ttab",
                  "日本" * 300]))
    for i in range(7, 51):
        fixed = [i, r.between(-128, 127), r.between(0, 255), r.between(-32768, 32767),
                 r.between(0, 65535), r.between(-8388608, 8388607), r.between(0, 16777215),
                 r.between(-2147483648, 2147483647), r.between(0, 4294967295),
                 r.between(-2 ** 63, 2 ** 63 - 1), r.next(), r.between(0, 99999999),
                 Raw(f"{r.between(-99999, 99999)}.{r.between(0, 99):02d}e{r.between(-20, 20)}"),
                 Raw(f"{r.between(-999999, 999999)}.{r.between(0, 9999):04d}e{r.between(-200, 200)}"),
                 money(r, -99999, 99999),
                 Raw(f"{r.between(-10 ** 12, 10 ** 12)}.{r.between(0, 10 ** 10 - 1):010d}"),
                 Raw(f"{r.between(0, 99999999)}.{r.between(0, 9999):04d}"),
                 date(r, 1000, 9999), f"{r.between(-838, 838)}:{r.between(0, 59):02d}:{r.between(0, 59):02d}",
                 datetime(r, 1000, 9999), datetime(r, 1971, 2037), r.between(1901, 2155),
                 f"{r.between(-838, 838)}:{r.between(0, 59):02d}:{r.between(0, 59):02d}.{r.between(0, 999):03d}",
                 f"{datetime(r, 1000, 9999)}.{r.between(0, 999999):06d}",
                 f"{datetime(r, 1971, 2037)}.{r.between(0, 999999):06d}",
                 rng_word(r, 10), sentence(r, 1, 10), rng_word(r, 10, latin1=True),
                 sentence(r, 1, 8) + " æøå", sentence(r, 1, 4) + " ✓",
                 r.next().to_bytes(8, "little"), r.next().to_bytes(8, "big")[:r.between(0, 8)],
                 r.pick(["", "red", "green", "blue"]),
                 ",".join(x for x in "abcd" if r.chance(50)),
                 bits(r.below(2)), bits(r.below(1024)), bits(r.next())]
        blobs = [bytes([i] * r.between(0, 255)), bytes([i, 255 - i] * r.between(0, 60)),
                 None if i % 5 == 0 else bytes([i]) * r.between(0, 300), b"L" * i,
                 sentence(r, 1, 20), sentence(r, 1, 60), None if i % 7 == 0 else sentence(r, 1, 100),
                 "long " * r.between(0, 300)]
        rows.append((fixed, blobs))
    return rows


def rng_word(r, maxlen, latin1=False):
    w = r.pick(WORDS)
    if latin1 and r.chance(50):
        w = r.pick(["Müller", "Fußball", "Ærø", "Señor", "Café", "Ëlla"])
    return w[:maxlen]


def types(o):
    o("CREATE DATABASE types CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;")
    o("USE types;")
    rows = type_rows()
    tables = [
        ("t_myisam", "ENGINE=MyISAM", True, True),
        ("t_myisam_fixed", "ENGINE=MyISAM ROW_FORMAT=FIXED", False, False),
        ("t_compact", "ENGINE=InnoDB ROW_FORMAT=COMPACT", True, False),
        ("t_dynamic", "ENGINE=InnoDB ROW_FORMAT=DYNAMIC", True, False),
    ]
    for name, opts, with_blobs, with_geo in tables:
        cols = ALL_TYPES
        if not with_blobs:
            # VARCHAR would force a dynamic MyISAM row; keep this one fixed.
            cols = cols.replace("VARCHAR(100) CHARACTER SET utf8mb3", "CHAR(100) CHARACTER SET utf8mb3")
            cols = cols.replace("VARCHAR(100) CHARACTER SET latin1", "CHAR(100) CHARACTER SET latin1")
            cols = cols.replace("VARCHAR(50) CHARACTER SET utf8mb4", "CHAR(50) CHARACTER SET utf8mb4")
            cols = cols.replace("VARBINARY(32)", "BINARY(32)")
        if with_blobs:
            cols += BLOB_TYPES
        if with_geo:
            cols += ",\n  pt POINT NULL,\n  geo GEOMETRY NULL"
        o(f"CREATE TABLE {name} (\n{cols},\n  PRIMARY KEY (id)\n) {opts} COMMENT='all column types';")
        names = list(FIXED_COLS)
        if with_blobs:
            names += BLOB_COLS
        if with_geo:
            names += ["pt", "geo"]
        data = []
        for fixed, blobs in rows:
            row = list(fixed)
            if with_blobs:
                row += blobs
            if with_geo:
                rid = fixed[0]
                if rid == 4:
                    row += [None, None]
                else:
                    row += [Raw(f"ST_GeomFromText('POINT({rid} {-rid}.5)')"),
                            Raw(f"ST_GeomFromText('LINESTRING(0 0, {rid} {rid}, {rid * 2} 0)')"
                                if rid % 2 else
                                f"ST_GeomFromText('POLYGON((0 0, {rid} 0, {rid} {rid}, 0 0))')")]
            data.append(row)
        o.insert(name, names, data, batch=25)
        o(f"DELETE FROM {name} WHERE id IN (13, 27);")
        o(f"UPDATE {name} SET vc_utf8 = 'updated ✓', i = i DIV 2 WHERE id IN (8, 30);")


# ---------------------------------------------------------------- inner

def inner(o):
    rng = Rng(404)
    # Created while file-per-table is off: the tables live in ibdata1.
    o("SET GLOBAL innodb_file_per_table = OFF;")
    o("CREATE DATABASE `inner` CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci;")
    o("USE `inner`;")
    o("""CREATE TABLE products (
  id INT NOT NULL,
  sku CHAR(12) NOT NULL,
  name VARCHAR(80) NOT NULL,
  price DECIMAL(8,2) NOT NULL,
  stock SMALLINT UNSIGNED NOT NULL,
  added DATETIME NOT NULL,
  weight FLOAT NULL,
  active BIT(1) NOT NULL,
  kind ENUM('tool','toy','food') NULL,
  descr TEXT NULL,
  PRIMARY KEY (id),
  UNIQUE KEY uk_sku (sku)
) ENGINE=InnoDB ROW_FORMAT=COMPACT;""")
    rows = []
    for i in range(1, 301):
        descr = None if rng.chance(25) else sentence(rng, 3, 30)
        if i == 150:
            descr = long_text("inner150", 20000)
        rows.append((i, f"SKU{i:09d}", f"{rng.pick(WORDS)} {rng.pick(WORDS)} ünïcödé {i}",
                     money(rng, 0, 5000), rng.between(0, 65535), datetime(rng),
                     None if rng.chance(10) else rng.between(1, 10000) / 8,
                     bits(rng.below(2)), rng.pick(["tool", "toy", "food", None]), descr))
    o.insert("products", ["id", "sku", "name", "price", "stock", "added", "weight",
                          "active", "kind", "descr"], rows)
    o("DELETE FROM products WHERE id % 19 = 0;")
    o("UPDATE products SET price = price + 0.5, name = CONCAT(name, ' (neu)') WHERE id % 21 = 4;")
    o("""CREATE TABLE tags (
  id INT NOT NULL AUTO_INCREMENT,
  tag VARCHAR(30) NOT NULL,
  created DATE NULL,
  PRIMARY KEY (id),
  UNIQUE KEY uk_tag (tag)
) ENGINE=InnoDB ROW_FORMAT=DYNAMIC;""")
    o.insert("tags", ["tag", "created"],
             [(f"{w}-{n}", date(rng)) for n, w in enumerate(WORDS[:40])])
    o("SET GLOBAL innodb_file_per_table = ON;")


# ---------------------------------------------------------------- my-db

def mydb(o):
    rng = Rng(505)
    o("CREATE DATABASE `my-db` CHARACTER SET utf8mb3 COLLATE utf8mb3_unicode_ci;")
    o("USE `my-db`;")
    o("""CREATE TABLE `café` (
  id INT NOT NULL,
  drink VARCHAR(50) NOT NULL,
  price DECIMAL(6,2) NULL,
  PRIMARY KEY (id)
) ENGINE=MyISAM;""")
    o.insert("`café`", ["id", "drink", "price"],
             [(1, "Café au lait", Raw("3.20")), (2, "Crème brûlée latte", Raw("4.50")),
              (3, "Matcha 抹茶", None), (4, "Espresso", Raw("2.00")),
              (5, "Mélange", Raw("3.80"))])
    o("""CREATE TABLE `stock-level` (
  item VARCHAR(40) NOT NULL,
  qty INT NOT NULL,
  PRIMARY KEY (item)
) ENGINE=InnoDB;""")
    o.insert("`stock-level`", ["item", "qty"],
             [(f"bean {rng.pick(WORDS)} {i}", rng.between(0, 500)) for i in range(20)])


def main():
    o = Out()
    o("SET NAMES utf8mb4;")
    o("SET SESSION sql_mode = 'STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION';")
    o("SET SESSION time_zone = '+00:00';")
    shop(o)
    legacy(o)
    types(o)
    inner(o)
    mydb(o)
    sys.stdout.write("".join(o.parts))


if __name__ == "__main__":
    main()

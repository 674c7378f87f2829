-- Content of the full-definition fixture (scripts/make-fulldef-fixtures.sh):
-- every part of a table definition that a restore must keep.
INSTALL SONAME 'ha_archive';
INSTALL SONAME 'ha_blackhole';
CREATE USER 'app'@'%' IDENTIFIED BY 'app-pw';
CREATE USER 'report'@'localhost' IDENTIFIED BY 'report-pw';

CREATE SCHEMA fulldef2 CHARACTER SET latin1;
CREATE TABLE fulldef2.currency (
  code char(3) NOT NULL,
  name varchar(40) NOT NULL DEFAULT '',
  PRIMARY KEY (code)
) ENGINE=InnoDB;
INSERT INTO fulldef2.currency VALUES ('EUR','Euro'),('USD','Dollar');

CREATE SCHEMA fulldef CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE fulldef;

-- Created child first: restoring tables in name order fails without deferred keys.
CREATE TABLE zz_parent (
  id int(11) NOT NULL AUTO_INCREMENT,
  code varchar(20) NOT NULL,
  region smallint(5) unsigned NOT NULL DEFAULT 1,
  currency char(3) CHARACTER SET latin1 COLLATE latin1_swedish_ci DEFAULT 'EUR',
  PRIMARY KEY (id),
  UNIQUE KEY uq_parent_code (code),
  UNIQUE KEY uq_region_id (region, id),
  KEY idx_currency (currency),
  CONSTRAINT fk_parent_currency FOREIGN KEY (currency) REFERENCES fulldef2.currency (code)
    ON UPDATE CASCADE
) ENGINE=InnoDB AUTO_INCREMENT=1000 COMMENT='parents, with a gap in the counter';

CREATE TABLE aa_child (
  id bigint(20) unsigned NOT NULL AUTO_INCREMENT,
  parent_id int(11) DEFAULT NULL,
  region smallint(5) unsigned NOT NULL,
  parent_ref int(11) NOT NULL,
  note varchar(100) DEFAULT NULL COMMENT 'free text, may be NULL',
  PRIMARY KEY (id),
  KEY idx_parent (parent_id),
  KEY idx_region_ref (region, parent_ref),
  CONSTRAINT fk_child_parent FOREIGN KEY (parent_id) REFERENCES zz_parent (id)
    ON DELETE SET NULL ON UPDATE CASCADE,
  CONSTRAINT fk_child_pair FOREIGN KEY (region, parent_ref) REFERENCES zz_parent (region, id)
    ON DELETE CASCADE ON UPDATE NO ACTION
) ENGINE=InnoDB;

CREATE TABLE employee (
  id int(11) NOT NULL,
  manager_id int(11) DEFAULT NULL,
  name varchar(50) NOT NULL,
  PRIMARY KEY (id),
  KEY fk_manager (manager_id),
  CONSTRAINT fk_manager FOREIGN KEY (manager_id) REFERENCES employee (id) ON DELETE RESTRICT
) ENGINE=InnoDB;

INSERT INTO zz_parent (code, region, currency) VALUES ('alpha', 1, 'EUR'), ('beta', 2, 'USD'),
  ('gamma', 2, NULL);
INSERT INTO aa_child (parent_id, region, parent_ref, note) VALUES
  (1000, 1, 1000, 'first'), (1001, 2, 1001, NULL), (NULL, 2, 1002, 'orphan-ish');
INSERT INTO employee VALUES (1, NULL, 'boss'), (2, 1, 'worker'), (3, 2, 'intern');

CREATE TABLE defaults_all (
  id int(11) NOT NULL AUTO_INCREMENT,
  flag tinyint(1) NOT NULL DEFAULT 1,
  t_neg tinyint(4) DEFAULT -128,
  s_uns smallint(5) unsigned DEFAULT 65535,
  m_int mediumint(9) DEFAULT -8388608,
  i_zf int(6) unsigned zerofill DEFAULT 42,
  b_min bigint(20) DEFAULT -9223372036854775808,
  b_max bigint(20) unsigned DEFAULT 18446744073709551615,
  d_small decimal(10,2) DEFAULT -123.45,
  d_big decimal(30,10) NOT NULL DEFAULT 12345678901234567890.0123456789,
  d_int decimal(5,0) unsigned DEFAULT 7,
  f_plain float DEFAULT 3.5,
  f_prec float(7,3) DEFAULT 1.125,
  dbl double DEFAULT -2.25e100,
  bit1 bit(1) DEFAULT b'1',
  bit10 bit(10) NOT NULL DEFAULT b'1010101010',
  bit64 bit(64) DEFAULT b'1000000000000000000000000000000000000000000000000000000000000001',
  c_char char(10) DEFAULT 'abc',
  c_quote varchar(20) DEFAULT 'it''s \\ here',
  c_utf varchar(20) DEFAULT 'é€😀',
  c_latin varchar(20) CHARACTER SET latin1 DEFAULT 'Größe',
  c_empty varchar(5) NOT NULL DEFAULT '',
  c_bin binary(4) DEFAULT 'ab',
  c_varbin varbinary(10) DEFAULT 'xyz',
  c_enum enum('a','b','c d') NOT NULL DEFAULT 'b',
  c_set set('x','y','z') DEFAULT 'x,z',
  c_date date DEFAULT '2020-02-29',
  c_date_zero date NOT NULL DEFAULT '0000-00-00',
  c_time time DEFAULT '12:34:56',
  c_time_neg time(3) DEFAULT '-838:59:59.000',
  c_dt datetime DEFAULT '1000-01-01 00:00:00',
  c_dt6 datetime(6) DEFAULT '2021-12-31 23:59:59.123456',
  c_ts timestamp(2) NULL DEFAULT '2038-01-19 03:14:07.99',
  c_year year(4) DEFAULT 2024,
  c_nodef int(11) NOT NULL,
  c_null int(11) DEFAULT NULL,
  c_text text DEFAULT 'text default',
  c_blob blob,
  c_json longtext CHARACTER SET utf8mb4 COLLATE utf8mb4_bin DEFAULT '{}' CHECK (json_valid(c_json)),
  c_expr int(11) DEFAULT (1 + 2),
  c_fn varchar(10) DEFAULT concat('a','b'),
  c_now datetime DEFAULT current_timestamp(),
  PRIMARY KEY (id)
) ENGINE=InnoDB;
INSERT INTO defaults_all (c_nodef) VALUES (1);
INSERT INTO defaults_all (c_nodef, c_null, c_blob) VALUES (2, 5, 'blob');

CREATE TABLE timestamps (
  id int(11) NOT NULL,
  ts_auto timestamp NOT NULL DEFAULT current_timestamp() ON UPDATE current_timestamp(),
  ts_null timestamp NULL DEFAULT NULL,
  ts_upd timestamp(6) NULL DEFAULT NULL ON UPDATE current_timestamp(6),
  ts_fixed timestamp NOT NULL DEFAULT '2000-01-01 00:00:00',
  ts_def_only timestamp NOT NULL DEFAULT current_timestamp(),
  dt_auto datetime(3) DEFAULT current_timestamp(3) ON UPDATE current_timestamp(3),
  PRIMARY KEY (id)
) ENGINE=InnoDB;
INSERT INTO timestamps (id, ts_null) VALUES (1, NULL), (2, '2010-05-06 07:08:09');

CREATE TABLE indexes (
  a int(11) NOT NULL,
  b varchar(200) NOT NULL,
  c text,
  d varchar(30) CHARACTER SET latin1 DEFAULT NULL,
  e int(11) DEFAULT NULL,
  body text,
  shape point NOT NULL,
  PRIMARY KEY (a, b(20)),
  UNIQUE KEY uq_d_e (d, e),
  KEY idx_b_prefix (b(10)),
  KEY idx_c_prefix (c(50)) COMMENT 'prefix of a text',
  KEY idx_e_desc (e DESC, a),
  KEY idx_multi (e, d, a),
  FULLTEXT KEY ft_body (body),
  SPATIAL KEY sp_shape (shape)
) ENGINE=InnoDB;
INSERT INTO indexes VALUES (1, 'one', 'c1', 'd1', 10, 'some body text', POINT(1, 2)),
  (2, 'two', NULL, NULL, NULL, 'another text', POINT(3, 4));

CREATE TABLE long_unique (
  id int(11) NOT NULL,
  payload text,
  PRIMARY KEY (id),
  UNIQUE KEY uq_payload (payload)
) ENGINE=InnoDB;
INSERT INTO long_unique VALUES (1, 'p1'), (2, 'p2');

CREATE TABLE memory_hash (
  id int(11) NOT NULL,
  k varchar(10) NOT NULL,
  PRIMARY KEY (id) USING HASH,
  KEY idx_k_btree (k) USING BTREE,
  KEY idx_k_hash (k) USING HASH
) ENGINE=MEMORY;

CREATE TABLE myisam_opts (
  id int(10) unsigned NOT NULL AUTO_INCREMENT,
  name char(40) NOT NULL DEFAULT 'none',
  PRIMARY KEY (id),
  KEY idx_name (name)
) ENGINE=MyISAM AUTO_INCREMENT=77 AVG_ROW_LENGTH=100 CHECKSUM=1 DELAY_KEY_WRITE=1
  MAX_ROWS=1000000 MIN_ROWS=10 PACK_KEYS=1 ROW_FORMAT=FIXED COMMENT='MyISAM with options';
INSERT INTO myisam_opts (name) VALUES ('first'), ('second');

CREATE TABLE myisam_fulltext (
  id int(11) NOT NULL,
  title varchar(100) DEFAULT NULL,
  body text,
  PRIMARY KEY (id),
  FULLTEXT KEY ft_title_body (title, body)
) ENGINE=MyISAM PACK_KEYS=0;
INSERT INTO myisam_fulltext VALUES (1, 'hello', 'world');

CREATE TABLE innodb_opts (
  id int(11) NOT NULL AUTO_INCREMENT,
  v varchar(10) DEFAULT NULL,
  PRIMARY KEY (id)
) ENGINE=InnoDB AUTO_INCREMENT=500 STATS_PERSISTENT=0 STATS_AUTO_RECALC=1
  STATS_SAMPLE_PAGES=25 ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=8
  COMMENT='A table comment that is longer than sixty characters, so the server keeps it in the extra segment of the file';
INSERT INTO innodb_opts (v) VALUES ('x');

CREATE TABLE innodb_redundant (
  id int(11) NOT NULL,
  PRIMARY KEY (id)
) ENGINE=InnoDB ROW_FORMAT=REDUNDANT STATS_PERSISTENT=1 STATS_AUTO_RECALC=0;

-- A key longer than 767 bytes with no declared row format: it needs DYNAMIC.
SET GLOBAL innodb_default_row_format = dynamic;
CREATE TABLE wide_key (
  id int(11) NOT NULL,
  path varchar(500) NOT NULL,
  PRIMARY KEY (id),
  UNIQUE KEY uq_path (path)
) ENGINE=InnoDB;
SET GLOBAL innodb_default_row_format = compact;
INSERT INTO wide_key VALUES (1, REPEAT('p', 500));

CREATE TABLE arch (id int(11) NOT NULL, msg varchar(50) DEFAULT NULL) ENGINE=ARCHIVE;
INSERT INTO arch VALUES (1, 'archived');
CREATE TABLE csvt (id int(11) NOT NULL, msg varchar(50) NOT NULL) ENGINE=CSV;
INSERT INTO csvt VALUES (1, 'comma');
CREATE TABLE hole (id int(11) NOT NULL, KEY idx_id (id)) ENGINE=BLACKHOLE;
CREATE TABLE m1 (id int(11) NOT NULL, KEY (id)) ENGINE=MyISAM;
CREATE TABLE m2 (id int(11) NOT NULL, KEY (id)) ENGINE=MyISAM;
INSERT INTO m1 VALUES (1); INSERT INTO m2 VALUES (2);
CREATE TABLE merged (id int(11) NOT NULL, KEY (id)) ENGINE=MRG_MyISAM UNION=(m1,m2)
  INSERT_METHOD=LAST;
CREATE TABLE aria_tx (id int(11) NOT NULL, v varchar(10) DEFAULT 'a', PRIMARY KEY (id))
  ENGINE=Aria TRANSACTIONAL=1 PAGE_CHECKSUM=1 ROW_FORMAT=PAGE;
INSERT INTO aria_tx VALUES (1, 'aria');
CREATE TABLE aria_plain (id int(11) NOT NULL, PRIMARY KEY (id))
  ENGINE=Aria TRANSACTIONAL=0 PAGE_CHECKSUM=0 ROW_FORMAT=DYNAMIC;

CREATE TABLE gen (
  id int(11) NOT NULL,
  a int(11) NOT NULL CHECK (a > 0),
  b int(11) GENERATED ALWAYS AS (a * 2) VIRTUAL,
  c varchar(20) GENERATED ALWAYS AS (concat('x', a)) STORED,
  hid int(11) DEFAULT 5 INVISIBLE,
  j json DEFAULT NULL,
  PRIMARY KEY (id),
  KEY idx_c (c),
  CONSTRAINT chk_b CHECK (b < 1000),
  CHECK (a <> 13)
) ENGINE=InnoDB;
INSERT INTO gen (id, a, j) VALUES (1, 3, '{"k": [1, 2]}'), (2, 4, NULL);

CREATE TABLE gen_myisam (
  id int(11) NOT NULL,
  a int(11) DEFAULT NULL,
  v int(11) AS (a + 1) VIRTUAL,
  s int(11) AS (a + 2) PERSISTENT,
  PRIMARY KEY (id)
) ENGINE=MyISAM;
INSERT INTO gen_myisam (id, a) VALUES (1, 10), (2, NULL);

CREATE TABLE parted (
  id int(11) NOT NULL,
  created date NOT NULL,
  PRIMARY KEY (id, created)
) ENGINE=InnoDB
PARTITION BY RANGE (year(created))
(PARTITION p2020 VALUES LESS THAN (2021) ENGINE = InnoDB,
 PARTITION pmax VALUES LESS THAN MAXVALUE ENGINE = InnoDB);
INSERT INTO parted VALUES (1, '2020-06-01'), (2, '2023-01-01');

CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW v_plain AS
  SELECT id, code FROM zz_parent;
CREATE ALGORITHM=MERGE DEFINER=`app`@`%` SQL SECURITY INVOKER VIEW v_merge_check AS
  SELECT id, region FROM zz_parent WHERE region > 0 WITH CASCADED CHECK OPTION;
CREATE ALGORITHM=TEMPTABLE DEFINER=`report`@`localhost` SQL SECURITY DEFINER VIEW v_temptable AS
  SELECT region, count(*) AS n FROM zz_parent GROUP BY region;
CREATE ALGORITHM=MERGE DEFINER=`app`@`%` SQL SECURITY DEFINER VIEW v_local AS
  SELECT id, region FROM v_merge_check WHERE id > 1 WITH LOCAL CHECK OPTION;
CREATE DEFINER=`ghost`@`10.0.0.%` SQL SECURITY DEFINER VIEW v_ghost AS SELECT 1 AS one;

SET sql_mode = 'STRICT_ALL_TABLES,NO_ZERO_DATE';
CREATE DEFINER=`app`@`%` TRIGGER trg_parent_bi_1 BEFORE INSERT ON zz_parent FOR EACH ROW
  SET NEW.code = lower(NEW.code);
SET sql_mode = '';
CREATE DEFINER=`report`@`localhost` TRIGGER trg_parent_bi_2 BEFORE INSERT ON zz_parent
  FOR EACH ROW FOLLOWS trg_parent_bi_1 SET NEW.code = trim(NEW.code);
SET sql_mode = 'ANSI_QUOTES,NO_BACKSLASH_ESCAPES';
CREATE DEFINER=`root`@`localhost` TRIGGER trg_parent_bi_0 BEFORE INSERT ON zz_parent
  FOR EACH ROW PRECEDES trg_parent_bi_1 SET NEW.code = concat(NEW.code, '');
SET sql_mode = DEFAULT;
CREATE DEFINER=`app`@`%` TRIGGER trg_parent_au AFTER UPDATE ON zz_parent FOR EACH ROW
  UPDATE aa_child SET note = 'parent changed' WHERE parent_id = NEW.id AND note IS NULL;

-- A plain MyISAM table that the tests turn into a MySQL 5.7 file with
-- generated columns (no server here writes that format).
CREATE TABLE plain57 (
  a int(11) NOT NULL,
  b int(11) DEFAULT NULL,
  c int(11) DEFAULT NULL,
  d varchar(10) DEFAULT 'x'
) ENGINE=MyISAM;

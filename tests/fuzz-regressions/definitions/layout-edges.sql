/*!40101 CREATE TABLE t (a bit(64), b bit(7), c decimal(65,30) unsigned zerofill, d set('a','b','c','d','e','f','g','h','i') NOT NULL, e timestamp(6) /* mariadb-5.3 */, PRIMARY KEY (d, b)) ENGINE=MyISAM ROW_FORMAT=FIXED */;
delimiter ;;
CREATE TABLE u (x int);;
delimiter

-- The program's own account on the course database: SELECT on the four tables it reads,
-- and nothing else. Its password is built into the program and can be read out of the
-- installed file by anyone who has it, so this account must never hold more than read
-- access to public course content. See docs/deploy.md.
--
-- Filled in by db/readonly-account.sh, which takes the values from the environment or
-- asks for them, and is safe for any password and name:
--   ORVY_DB_NAME=school ORVY_DB_PASSWORD='...' db/readonly-account.sh | sudo mariadb
-- Its placeholders:
--   @DB@             the course database's name, as an identifier (each ` doubled); the
--                    program logs in with the same string as its user name
--   @DB_HEX@         the same name's UTF-8 bytes in hexadecimal, to look it up by
--   @CLIENTS@        where the learners connect from, as an identifier: % for anywhere,
--                    or a host or network pattern such as 10.20.%
--   @PASSWORD_HASH@  the mysql_native_password hash of the password built into the
--                    program, so the password itself is never written into SQL
--   @MAX_USER_CONNECTIONS@  the account's connection limit (ORVY_DB_MAX_USER_CONNECTIONS)
--
-- It is one block, so that nothing is created unless the database and its four tables are
-- there (db/schema.sql loaded first), and it may be run again: an account that exists
-- already gets this password and limit, and the grants are the same.
--
-- The resource limits hold for the account as a whole, that is for all learners together.
-- The hourly ones stay off (0): any number there caps the whole school (a start is one
-- connection and 4 queries, a course choice 1 query). MAX_USER_CONNECTIONS is the number
-- of learners who can have the program open at once: keep it below the server's
-- max_connections, so the administrator and other accounts always get in, and size both to
-- the school (docs/deploy.md, "Capacity"). A learner over it gets the server's error.
DELIMITER //
BEGIN NOT ATOMIC
  IF (SELECT COUNT(*) FROM information_schema.TABLES
        WHERE BINARY TABLE_SCHEMA = X'@DB_HEX@'
          AND BINARY TABLE_NAME IN ('interface', 'courses', 'classtype', 'lessons')) <> 4 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT =
      'The course database or its tables are missing: create the database and load db/schema.sql into it before the account.';
  END IF;

  CREATE USER IF NOT EXISTS `@DB@`@`@CLIENTS@` IDENTIFIED WITH mysql_native_password AS '@PASSWORD_HASH@'
      WITH MAX_QUERIES_PER_HOUR 0
           MAX_CONNECTIONS_PER_HOUR 0
           MAX_USER_CONNECTIONS @MAX_USER_CONNECTIONS@;
  ALTER USER `@DB@`@`@CLIENTS@` IDENTIFIED WITH mysql_native_password AS '@PASSWORD_HASH@'
      WITH MAX_QUERIES_PER_HOUR 0
           MAX_CONNECTIONS_PER_HOUR 0
           MAX_USER_CONNECTIONS @MAX_USER_CONNECTIONS@;

  GRANT SELECT ON `@DB@`.`interface` TO `@DB@`@`@CLIENTS@`;
  GRANT SELECT ON `@DB@`.`courses` TO `@DB@`@`@CLIENTS@`;
  GRANT SELECT ON `@DB@`.`classtype` TO `@DB@`@`@CLIENTS@`;
  GRANT SELECT ON `@DB@`.`lessons` TO `@DB@`@`@CLIENTS@`;
END//
DELIMITER ;

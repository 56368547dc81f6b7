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
--   @CLIENTS@        where the learners connect from, as an identifier: % for anywhere,
--                    or a host or network pattern such as 10.20.%
--   @PASSWORD_HASH@  the mysql_native_password hash of the password built into the
--                    program, so the password itself is never written into SQL
--
-- The resource limits hold for the account as a whole, that is for all learners together:
-- size them to the school (about 5 queries when the program starts and 1 per course
-- chosen). A learner over a limit gets the server's error and may try again later.
CREATE USER `@DB@`@`@CLIENTS@` IDENTIFIED WITH mysql_native_password AS '@PASSWORD_HASH@'
    WITH MAX_QUERIES_PER_HOUR 20000
         MAX_CONNECTIONS_PER_HOUR 2000
         MAX_USER_CONNECTIONS 200;

GRANT SELECT ON `@DB@`.`interface` TO `@DB@`@`@CLIENTS@`;
GRANT SELECT ON `@DB@`.`courses` TO `@DB@`@`@CLIENTS@`;
GRANT SELECT ON `@DB@`.`classtype` TO `@DB@`@`@CLIENTS@`;
GRANT SELECT ON `@DB@`.`lessons` TO `@DB@`@`@CLIENTS@`;

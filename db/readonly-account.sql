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
-- The resource limits hold for the account as a whole, that is for all learners together.
-- The hourly ones stay off (0): any number there caps the whole school (a start is one
-- connection and 4 queries, a course choice 1 query). MAX_USER_CONNECTIONS is the number
-- of learners who can have the program open at once: keep it below the server's
-- max_connections, so the administrator and other accounts always get in, and size both to
-- the school (docs/deploy.md, "Capacity"). A learner over it gets the server's error.
CREATE USER `@DB@`@`@CLIENTS@` IDENTIFIED WITH mysql_native_password AS '@PASSWORD_HASH@'
    WITH MAX_QUERIES_PER_HOUR 0
         MAX_CONNECTIONS_PER_HOUR 0
         MAX_USER_CONNECTIONS 1900;

GRANT SELECT ON `@DB@`.`interface` TO `@DB@`@`@CLIENTS@`;
GRANT SELECT ON `@DB@`.`courses` TO `@DB@`@`@CLIENTS@`;
GRANT SELECT ON `@DB@`.`classtype` TO `@DB@`@`@CLIENTS@`;
GRANT SELECT ON `@DB@`.`lessons` TO `@DB@`@`@CLIENTS@`;

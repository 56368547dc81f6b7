-- The program's own account on the course database: SELECT on the four tables it reads,
-- and nothing else. Its password is built into the program and can be read out of the
-- installed file by anyone who has it, so this account must never hold more than read
-- access to public course content. See docs/deploy.md.
--
-- Placeholders, replaced before running (the demo and the package test do the same):
--   @DB@        the course database's name; the program logs in with the same string as
--               its user name
--   @CLIENTS@   where the learners connect from: % for anywhere, or a host or network
--               pattern such as 10.20.%
--   @PASSWORD@  the password built into the program (12 characters)
-- e.g.
--   sed -e 's/@DB@/school/g' -e 's/@CLIENTS@/%/g' -e 's/@PASSWORD@/.../g' \
--       db/readonly-account.sql | mariadb -u root
--
-- The resource limits hold for the account as a whole, that is for all learners together.
-- The hourly ones stay off (0): any number there caps the whole school (a start is one
-- connection and 4 queries, a course choice 1 query). MAX_USER_CONNECTIONS is the number
-- of learners who can have the program open at once: keep it below the server's
-- max_connections, so the administrator and other accounts always get in, and size both to
-- the school (docs/deploy.md, "Capacity"). A learner over it gets the server's error.
CREATE USER '@DB@'@'@CLIENTS@' IDENTIFIED BY '@PASSWORD@'
    WITH MAX_QUERIES_PER_HOUR 0
         MAX_CONNECTIONS_PER_HOUR 0
         MAX_USER_CONNECTIONS 1900;

GRANT SELECT ON `@DB@`.`interface` TO '@DB@'@'@CLIENTS@';
GRANT SELECT ON `@DB@`.`courses` TO '@DB@'@'@CLIENTS@';
GRANT SELECT ON `@DB@`.`classtype` TO '@DB@'@'@CLIENTS@';
GRANT SELECT ON `@DB@`.`lessons` TO '@DB@'@'@CLIENTS@';

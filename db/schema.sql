-- The course catalogue as the program reads it: one row of branding, course types,
-- courses and lessons. Used by the demo and by the tests' private servers.
CREATE TABLE interface (
  intID INT AUTO_INCREMENT PRIMARY KEY,
  intPics VARCHAR(255), intLBL1 VARCHAR(255), intLBL2 VARCHAR(255), intLBL3 VARCHAR(255),
  intLBLPhone VARCHAR(255), intLBLWhats VARCHAR(255), intLBLInsta VARCHAR(255),
  intLBLOrvy VARCHAR(255), fbLink VARCHAR(255),
  lblColor1 VARCHAR(30), lblColor2 VARCHAR(30), lblColor3 VARCHAR(30)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE TABLE courses (cID INT, cName VARCHAR(255), ctID INT) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE TABLE classtype (ctID INT, ctName VARCHAR(255)) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
-- A course choice asks for one course's active lessons in their order: the index finds
-- them and their order without reading every lesson of the school.
CREATE TABLE lessons (
  LName VARCHAR(255), LLink VARCHAR(1024), cID INT, active INT, LSORT INT,
  KEY lessons_of_course (cID, active, LSORT)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

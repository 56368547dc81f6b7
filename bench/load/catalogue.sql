-- The load tool's catalogue (tables from db/schema.sql): a school of 20 course types and
-- @courses courses (200 unless set before this file, 1 to 10,000), 100 lessons a course,
-- one in ten inactive, in a shuffled order. Links point at loopback; nothing fetches them.
SET NAMES utf8mb4;
SET @courses = IF(@courses BETWEEN 1 AND 10000, @courses, 200);

INSERT INTO interface (intPics, intLBL1, intLBL2, intLBL3, intLBLPhone, intLBLWhats, intLBLInsta,
                       intLBLOrvy, fbLink, lblColor1, lblColor2, lblColor3)
VALUES ('http://127.0.0.1:9/banner.png', 'بەخێربێن بۆ ئۆرڤی کلاس — فێربوون لە هەر شوێنێک',
        'پەیوەندی بکە:', 'کورسەکانت هەڵبژێرە و دەست پێ بکە', '+964 750 000 0000',
        '+964 750 000 0000', 'http://127.0.0.1:9/instagram', 'http://127.0.0.1:9/',
        'http://127.0.0.1:9/facebook', '16777215', '$E8864A', '0x00E8864A');

INSERT INTO classtype (ctID, ctName)
SELECT seq, CONCAT('جۆری کۆرس ', seq) FROM seq_1_to_20;

INSERT INTO courses (cID, cName, ctID)
SELECT seq, CONCAT('کۆرسی ژمارە ', seq, ' — فێربوونی بابەتێکی نوێ'), 1 + seq % 20
FROM seq_1_to_10000 WHERE seq <= @courses;

INSERT INTO lessons (LName, LLink, cID, active, LSORT)
SELECT CONCAT('وانەی ', 1 + seq DIV @courses, ': ناونیشانی وانەکە بە کوردی'),
       CONCAT('http://127.0.0.1:9/media/course-', 1 + (seq * 7919) % @courses, '/lesson-', seq, '.mp4'),
       1 + (seq * 7919) % @courses, IF(seq % 10 = 0, 0, 1), 1 + seq DIV @courses
FROM seq_1_to_1000000 WHERE seq <= 100 * @courses;

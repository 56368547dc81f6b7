-- The load tool's catalogue (tables from db/schema.sql): a school of 20 course types,
-- 200 courses and 20,000 lessons, 100 a course, one in ten inactive, in a shuffled
-- order. Links point at loopback; nothing fetches them.
SET NAMES utf8mb4;

INSERT INTO interface (intPics, intLBL1, intLBL2, intLBL3, intLBLPhone, intLBLWhats, intLBLInsta,
                       intLBLOrvy, fbLink, lblColor1, lblColor2, lblColor3)
VALUES ('http://127.0.0.1:9/banner.png', 'بەخێربێن بۆ ئۆرڤی کلاس — فێربوون لە هەر شوێنێک',
        'پەیوەندی بکە:', 'کورسەکانت هەڵبژێرە و دەست پێ بکە', '+964 750 000 0000',
        '+964 750 000 0000', 'http://127.0.0.1:9/instagram', 'http://127.0.0.1:9/',
        'http://127.0.0.1:9/facebook', '16777215', '$E8864A', '0x00E8864A');

INSERT INTO classtype (ctID, ctName)
SELECT seq, CONCAT('جۆری کۆرس ', seq) FROM seq_1_to_20;

INSERT INTO courses (cID, cName, ctID)
SELECT seq, CONCAT('کۆرسی ژمارە ', seq, ' — فێربوونی بابەتێکی نوێ'), 1 + seq % 20 FROM seq_1_to_200;

INSERT INTO lessons (LName, LLink, cID, active, LSORT)
SELECT CONCAT('وانەی ', 1 + seq DIV 200, ': ناونیشانی وانەکە بە کوردی'),
       CONCAT('http://127.0.0.1:9/media/course-', 1 + (seq * 7919) % 200, '/lesson-', seq, '.mp4'),
       1 + (seq * 7919) % 200, IF(seq % 10 = 0, 0, 1), 1 + seq DIV 200
FROM seq_1_to_20000;

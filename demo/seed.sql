-- Demo catalogue (tables from db/schema.sql): branding, course types, courses and
-- lessons. @HTTP@ is replaced by the demo's local web server address when the demo starts.
SET NAMES utf8mb4;

INSERT INTO interface (intPics, intLBL1, intLBL2, intLBL3, intLBLPhone, intLBLWhats, intLBLInsta,
                       intLBLOrvy, fbLink, lblColor1, lblColor2, lblColor3)
VALUES ('@HTTP@/banner.png',
        'بەخێربێن بۆ ئۆرڤی کلاس — فێربوون لە هەر شوێنێک',
        'پەیوەندی بکە:',
        'کورسەکانت هەڵبژێرە و دەست پێ بکە',
        '+964 750 000 0000',
        '+964 750 000 0000',
        '@HTTP@/instagram',
        '@HTTP@/',
        '@HTTP@/facebook',
        '16777215', '$E8864A', '0x00E8864A');

INSERT INTO classtype (ctID, ctName) VALUES
    (1, 'بەرنامەسازی'),
    (2, 'زمان'),
    (3, 'دیزاین');

INSERT INTO courses (cID, cName, ctID) VALUES
    (1, 'فێربوونی C++', 1),
    (2, 'بنەماکانی پایتۆن', 1),
    (3, 'اللغة العربية للمبتدئين', 2),
    (4, 'زمانی ئینگلیزی', 2),
    (5, 'دیزاینی گرافیک', 3);

INSERT INTO lessons (LName, LLink, cID, active, LSORT) VALUES
    ('وانەی یەکەم: دەستپێک', '@HTTP@/lesson1.mp4', 1, 1, 1),
    ('وانەی دووەم: گۆڕاوەکان | ڕوونکردنەوە', '@HTTP@/lesson2.mp4', 1, 1, 2),
    ('وانەی سێیەم: فەنکشنەکان', '@HTTP@/lesson3.mp4', 1, 1, 3),
    ('وانەی کۆن (ناچالاک)', '@HTTP@/lesson1.mp4', 1, 0, 4),
    ('پایتۆن: دامەزراندن', '@HTTP@/lesson2.mp4', 2, 1, 1),
    ('پایتۆن: لیستەکان', '@HTTP@/lesson3.mp4', 2, 1, 2),
    ('الدرس الأول: الحروف', '@HTTP@/lesson1.mp4', 3, 1, 1),
    ('الدرس الثاني: الكلمات', '@HTTP@/lesson2.mp4', 3, 1, 2),
    ('Lesson 1: Greetings', '@HTTP@/lesson3.mp4', 4, 1, 1),
    ('دیزاین: ڕەنگەکان', '@HTTP@/lesson1.mp4', 5, 1, 1);
